// plotmira render -d: batches, in this process or in worker processes.
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hosts/cli/commands.h"

namespace plotmira_cli {

namespace {

// The file of a batch's input: DIR/NAME.png (.bmp, .dxf).
std::string BatchOutput(const std::string &directory, const std::string &input, const PictureRequest &request)
{
    std::string name = BaseName(input);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    const char *extension = request.batchFormat == ImageFormat::kDxf   ? ".dxf"
                            : request.batchFormat == ImageFormat::kBmp ? ".bmp"
                                                                       : ".png";
    return directory + "/" + name + extension;
}

// Makes the folder and the folders above it that are missing.
bool MakeFolder(const std::string &path, std::string *message)
{
    struct stat status = {};
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return true;
        *message = path + ": not a folder";
        return false;
    }
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolder(path.substr(0, slash), message)) return false;
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        *message = path + ": the folder cannot be made (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

// What a worker reports of one input: done or not, and the message.
struct BatchResult {
    bool finished = false;
    bool converted = false;
    std::string message;
};

struct Worker {
    pid_t pid;
    int pipe;
    size_t first;      // the worker converts inputs first, first + jobs, ...
    std::string line;  // a report not yet whole
};

// A worker process: converts its share of the inputs and reports each as a
// line "INDEX STATUS MESSAGE" on its pipe. Staying alive from one input to
// the next keeps its memory and fonts warm.
void RunWorker(const std::vector<std::string> &inputs, size_t first, size_t step, const std::string &directory,
               const PictureRequest &request, int out)
{
    for (size_t i = first; i < inputs.size(); i += step) {
        std::string message;
        const bool converted = ConvertToFile(inputs[i], BatchOutput(directory, inputs[i], request), request, &message);
        for (char &c : message) {
            if (c == '\n') c = ' ';
        }
        const std::string report = std::to_string(i) + (converted ? " 1 " : " 0 ") + message + "\n";
        size_t sent = 0;
        while (sent < report.size()) {
            const ssize_t n = write(out, report.data() + sent, report.size() - sent);
            if (n <= 0) _exit(1);
            sent += static_cast<size_t>(n);
        }
    }
    _exit(0);
}

// Takes the whole report lines that came from a worker.
void TakeReports(Worker *worker, const char *data, size_t size, std::vector<BatchResult> *results)
{
    worker->line.append(data, size);
    size_t end = 0;
    while ((end = worker->line.find('\n')) != std::string::npos) {
        const std::string report = worker->line.substr(0, end);
        worker->line.erase(0, end + 1);
        char *rest = nullptr;
        const unsigned long long index = std::strtoull(report.c_str(), &rest, 10);
        if (index >= results->size() || rest == nullptr || std::strlen(rest) < 2) continue;
        BatchResult &result = (*results)[index];
        result.finished = true;
        result.converted = rest[1] == '1';
        result.message = std::strlen(rest) > 3 ? rest + 3 : "";
    }
}

}  // namespace

// render -d: every input to DIR/NAME.png (.bmp, .dxf), in JOBS worker processes (one:
// in this process). Messages come in the order of the inputs, whatever
// order the workers finish in; a line shows the progress on a terminal.
int RenderBatch(const std::vector<std::string> &inputs, const std::string &directory, const PictureRequest &request,
                int32_t jobs)
{
    // Two inputs of the same name would write one picture over the other:
    // refused before anything is written.
    std::map<std::string, std::string> firstOf;
    for (const std::string &input : inputs) {
        const std::string output = BatchOutput(directory, input, request);
        const auto found = firstOf.find(output);
        if (found != firstOf.end() && found->second != input) {
            return Refuse(found->second + " and " + input + " would both be written to " + output);
        }
        firstOf.emplace(output, input);
    }
    std::string problem;
    if (!MakeFolder(directory, &problem)) {
        std::fprintf(stderr, "plotmira: %s\n", problem.c_str());
        return kExitFailed;
    }
    const bool terminal = isatty(STDERR_FILENO) != 0;
    std::vector<BatchResult> results(inputs.size());
    const size_t step = std::min(static_cast<size_t>(jobs), inputs.size());
    std::vector<Worker> workers;
    std::vector<size_t> unstarted;  // shares no process could be had for: converted here
    if (step > 1) {
        std::fflush(nullptr);
        for (size_t k = 0; k < step; ++k) {
            int ends[2];
            const pid_t child = pipe(ends) == 0 ? fork() : -1;
            if (child == 0) {
                close(ends[0]);
                for (const Worker &other : workers) close(other.pipe);
                RunWorker(inputs, k, step, directory, request, ends[1]);
            }
            if (child < 0) {
                unstarted.push_back(k);
                continue;
            }
            close(ends[1]);
            workers.push_back(Worker{child, ends[0], k, {}});
        }
    }
    auto convertHere = [&](size_t i) {
        results[i].converted =
            ConvertToFile(inputs[i], BatchOutput(directory, inputs[i], request), request, &results[i].message);
        results[i].finished = true;
    };
    for (size_t k : unstarted) {
        for (size_t i = k; i < inputs.size(); i += step) convertHere(i);
    }
    size_t reported = 0, failures = 0;
    auto report = [&]() {
        for (; reported < inputs.size() && results[reported].finished; ++reported) {
            if (terminal) {
                std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", reported + 1, inputs.size(), inputs[reported].c_str());
            }
            if (!results[reported].converted) {
                ++failures;
                std::fprintf(stderr, "%splotmira: %s\n", terminal ? "\r\033[K" : "", results[reported].message.c_str());
            }
        }
    };
    if (step <= 1) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            convertHere(i);
            report();
        }
    }
    while (!workers.empty()) {
        std::vector<pollfd> waiting;
        for (const Worker &worker : workers) waiting.push_back(pollfd{worker.pipe, POLLIN, 0});
        if (poll(waiting.data(), waiting.size(), -1) < 0 && errno != EINTR) break;
        for (size_t w = workers.size(); w-- > 0;) {
            if (waiting[w].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(workers[w].pipe, buffer, sizeof buffer);
            if (n > 0) {
                TakeReports(&workers[w], buffer, static_cast<size_t>(n), &results);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // The worker is done, or died: what it did not report failed.
            close(workers[w].pipe);
            waitpid(workers[w].pid, nullptr, 0);
            for (size_t i = workers[w].first; i < inputs.size(); i += step) {
                if (results[i].finished) continue;
                results[i].finished = true;
                results[i].message = inputs[i] + ": the conversion stopped abnormally";
            }
            workers.erase(workers.begin() + static_cast<std::ptrdiff_t>(w));
        }
        report();
    }
    report();
    if (terminal) std::fprintf(stderr, "\r\033[K%zu of %zu converted\n", inputs.size() - failures, inputs.size());
    return failures == 0 ? 0 : kExitFailed;
}

}  // namespace plotmira_cli
