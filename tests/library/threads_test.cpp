// Four threads draw views of two documents at once, describe them and list
// their texts; every picture must equal the one drawn alone beforehand.
// Built with ThreadSanitizer too, where it must also run without a report.
//
//   library_threads SHOWCASE.jww OTHER.jww|.jws
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "plotmira.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 12;
constexpr int kViews = 3;

plotmira_view ViewOf(int which)
{
    plotmira_view view;
    plotmira_view_init(&view, 320, 226);
    if (which == 1) {
        view.placement = PLOTMIRA_PLACE_CENTER;
        view.scale = 4;
    } else if (which == 2) {
        view.placement = PLOTMIRA_PLACE_ANCHOR;
        view.scale = 2;
        view.x = -100;
        view.y = 80;
        view.hide_groups = 2;
    }
    return view;
}

std::vector<uint8_t> Draw(plotmira_document *doc, int which, plotmira_status *status)
{
    const plotmira_view view = ViewOf(which);
    std::vector<uint8_t> pixels(plotmira_row_bytes(PLOTMIRA_PIXELS_RGBA32, view.width) * view.height);
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGBA32, pixels.data(), 0, pixels.size()};
    *status = plotmira_render(doc, &view, &image);
    return pixels;
}

int CountText(const plotmira_text *, void *data)
{
    ++*static_cast<int *>(data);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: library_threads SHOWCASE.jww OTHER\n");
        return 2;
    }
    setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
    plotmira_document *docs[2] = {nullptr, nullptr};
    for (int d = 0; d < 2; ++d) {
        if (plotmira_open_file(argv[1 + d], &docs[d]) != PLOTMIRA_OK) {
            std::fprintf(stderr, "library_threads: cannot open %s\n", argv[1 + d]);
            return 1;
        }
    }
    std::vector<uint8_t> reference[2][kViews];
    int referenceTexts[2] = {0, 0};
    for (int d = 0; d < 2; ++d) {
        for (int v = 0; v < kViews; ++v) {
            plotmira_status status;
            reference[d][v] = Draw(docs[d], v, &status);
            if (status != PLOTMIRA_OK) return 1;
        }
        plotmira_texts(docs[d], CountText, &referenceTexts[d]);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const int d = (t + round) % 2, v = (t * 7 + round) % kViews;
                plotmira_status status;
                if (Draw(docs[d], v, &status) != reference[d][v] || status != PLOTMIRA_OK) ++failures;
                plotmira_info info = {};
                info.struct_size = sizeof info;
                if (plotmira_describe(docs[d], &info) != PLOTMIRA_OK) ++failures;
                int texts = 0;
                plotmira_texts(docs[d], CountText, &texts);
                if (texts != referenceTexts[d]) ++failures;
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    for (plotmira_document *doc : docs) plotmira_close(doc);
    std::printf("%d threads x %d renders of two documents: %d pictures differed\n", kThreads, kRounds, failures.load());
    return failures == 0 ? 0 : 1;
}
