// DXF files of documents, for other CAD programs: the records and blocks as
// the drawing stores them, at real scale, with layers, pens, line types and
// texts. Every build writes them (nothing but the drawing is needed).
#pragma once

#include "library/documents.h"
#include "plotmira.h"

// Writes the document through `write`, the options at this library's size,
// the arguments checked.
plotmira_status WriteDxf(const plotmira_document &doc, const plotmira_dxf_options &options,
                         plotmira_write_callback write, void *user_data);
