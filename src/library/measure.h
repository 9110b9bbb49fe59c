// Measuring on a document: the snap point nearest a place on the sheet,
// among the objects the scene walk draws.
#pragma once

#include "library/documents.h"
#include "plotmira.h"

// The snap point nearest (x, y) within `radius` sheet millimetres, with
// the layer masks of `layers` (null: the document's own states); the
// arguments checked, `point` at this library's size.
plotmira_status SnapPoint(const plotmira_document &doc, const plotmira_view *layers, double x, double y, double radius,
                          plotmira_snap_point *point);
