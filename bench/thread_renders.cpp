// Renders per second over the corpus in one process, with 1, 2 and 4
// threads drawing at once: every file opened once, then each thread draws
// the views of the files in turn (the sheet fitted at 1920 pixels, and an
// 8x zoom of its middle at 960 x 678) until all are drawn ROUNDS times.
//   bench_threads [CORPUS_DIR | FILE] [ROUNDS]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/corpus_files.h"
#include "plotmira.h"

namespace {

struct Job {
    plotmira_document *doc;
    plotmira_view view;
};

// Every job drawn `rounds` times by `threads` threads; renders per second.
double RendersPerSecond(const std::vector<Job> &jobs, int rounds, int threads)
{
    std::atomic<size_t> next{0};
    const size_t total = jobs.size() * static_cast<size_t>(rounds);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&] {
            std::vector<uint8_t> pixels;
            for (size_t n = next++; n < total; n = next++) {
                const Job &job = jobs[n % jobs.size()];
                pixels.resize(plotmira_row_bytes(PLOTMIRA_PIXELS_RGB24, job.view.width) *
                              static_cast<size_t>(job.view.height));
                const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels.data(), 0, pixels.size()};
                plotmira_render(job.doc, &job.view, &image);
            }
        });
    }
    for (std::thread &thread : running) thread.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return static_cast<double>(total) / seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    const int rounds = CorpusBenchArguments(argc, argv, 3, &files);
    std::vector<plotmira_document *> docs;
    std::vector<Job> jobs;
    for (const std::string &file : files) {
        plotmira_document *doc = nullptr;
        if (plotmira_open_file(file.c_str(), &doc) != PLOTMIRA_OK) continue;
        plotmira_info info = {};
        info.struct_size = sizeof info;
        if (plotmira_describe(doc, &info) != PLOTMIRA_OK || !info.version_drawn) {
            plotmira_close(doc);
            continue;
        }
        docs.push_back(doc);
        Job fit = {doc, {}};
        plotmira_view_init(&fit.view, 1920, 1357);
        jobs.push_back(fit);
        Job zoom = {doc, {}};
        plotmira_view_init(&zoom.view, 960, 678);
        zoom.view.placement = PLOTMIRA_PLACE_CENTER;
        zoom.view.scale = 8 * 960 / (info.sheet.max_x - info.sheet.min_x);
        zoom.view.x = (info.sheet.min_x + info.sheet.max_x) / 2;
        zoom.view.y = (info.sheet.min_y + info.sheet.max_y) / 2;
        jobs.push_back(zoom);
    }
    if (jobs.empty()) {
        std::fprintf(stderr, "bench_threads: no drawings\n");
        return 1;
    }
    std::printf("%zu files, %zu views, %d rounds, %u cores\n", docs.size(), jobs.size(), rounds,
                std::thread::hardware_concurrency());
    const double one = RendersPerSecond(jobs, rounds, 1);
    std::printf("1 thread:  %.1f renders/s\n", one);
    for (int threads : {2, 4}) {
        const double rate = RendersPerSecond(jobs, rounds, threads);
        std::printf("%d threads: %.1f renders/s (%.2fx one thread)\n", threads, rate, rate / one);
    }
    for (plotmira_document *doc : docs) plotmira_close(doc);
    return 0;
}
