// PDF pages and SVG pictures of documents: each page at its paper's or its
// region's size in millimetres, drawn by the scene walk on the vector
// device. Native builds only (PLOTMIRA_VECTOR_OUTPUT).
#pragma once

#include <cstddef>

#include "library/documents.h"
#include "plotmira.h"

// Writes the documents through `write`, the options at this library's size,
// the arguments checked.
plotmira_status WriteVectorPages(plotmira_document *const *docs, size_t count, plotmira_vector_format format,
                                 const plotmira_vector_options &options, plotmira_write_callback write,
                                 void *user_data);
