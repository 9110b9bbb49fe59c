// The library's documents: a drawing or figure read once, then drawn again
// and again without reading, and described. A document is only read from
// after it is opened (its description is made once, under its own flag), so
// that any number of calls may use it at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plotmira.h"
#include "reader/drawing.h"

// A text as the scene shows it, for plotmira_texts.
struct DocumentText {
    std::string utf8;
    double x, y, height, angle;
    uint16_t layerGroup, layer, role;
};

struct plotmira_document {
    Drawing drawing;
    int32_t naturalWidth = 0;
    int32_t naturalHeight = 0;
    int32_t printView = 0;  // the reader's selected view (1..4), 0 none
    bool versionDrawn = true;
    bool complete = true;
    bool printByName = false;

    // Made on the first description.
    struct Description {
        std::string layerNames[kLayerGroups][kLayersPerGroup];
        std::string groupNames[kLayerGroups];
        bool hasExtent = false;
        plotmira_rect extent = {0, 0, 0, 0};
        uint32_t groupObjects[kLayerGroups] = {};
    };
    std::unique_ptr<Description> description;
    std::once_flag describeOnce;

    plotmira_document() = default;
    plotmira_document(const plotmira_document &) = delete;
    plotmira_document &operator=(const plotmira_document &) = delete;
};

// Reads a file image into a new document. `path` is the file's name in
// UTF-8, empty for memory. Reads no state of the module and writes none; of
// the machine it asks only what the options' settings source names.
plotmira_status ReadDocument(const unsigned char *bytes, size_t length, const std::string &path,
                             const plotmira_open_options &options, plotmira_document **out);

class SceneDevice;
class SceneWalk;
// Fills the description.
void DescribeDocument(plotmira_document *doc, plotmira_info *info);
// Every text the document shows, in drawing order.
std::vector<DocumentText> CollectTexts(const plotmira_document &doc);
