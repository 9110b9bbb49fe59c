// The library's documents: what one reading of a drawing or figure left in
// the module's tables, kept apart from them so that it can be drawn again
// and again without reading, and described.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/module_state.h"
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
    };
    std::unique_ptr<Description> description;

    plotmira_document() = default;
    plotmira_document(const plotmira_document &) = delete;
    plotmira_document &operator=(const plotmira_document &) = delete;
};

// Reads a file image into a new document. `path` is the file's name in
// UTF-8, empty for memory. Reads no state of the module and writes none; of
// the machine it asks only what the options' settings source names.
plotmira_status ReadDocument(const unsigned char *bytes, size_t length, const std::string &path,
                             const plotmira_open_options &options, plotmira_document **out);

// While it lives, the document is the module's drawing: its tables are in
// place (the store lent, not copied) and the render context is clean. What
// the module held before comes back afterwards. Under the module lock.
class DocumentInPlace {
public:
    explicit DocumentInPlace(const plotmira_document &doc);
    ~DocumentInPlace();
    DocumentInPlace(const DocumentInPlace &) = delete;
    DocumentInPlace &operator=(const DocumentInPlace &) = delete;

private:
    KeepModuleState kept_;
};

// Fills the description. Under the module lock.
void DescribeDocument(plotmira_document *doc, plotmira_info *info);
// Every text the document shows, in drawing order. Under the module lock.
std::vector<DocumentText> CollectTexts(const plotmira_document &doc);
