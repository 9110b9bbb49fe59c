// Drawings as QImages, for the Qt hosts (the image-format plug-in and
// KDE's thumbnailer): a document opened from a file or from bytes, and
// views of it drawn straight into a QImage.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include "plotmira.h"

namespace plotmira_qt {

class Drawing {
public:
    Drawing() = default;
    ~Drawing();
    Drawing(const Drawing &) = delete;
    Drawing &operator=(const Drawing &) = delete;

    // A named file is opened by its path, so that its name (the upper-case-J
    // rule) and time reach the drawing as they reach the plug-in.
    bool OpenFile(const QString &path);
    bool OpenBytes(const QByteArray &bytes);

    // The plug-in's picture size for this kind of file.
    QSize NaturalSize() const { return {info_.natural_width, info_.natural_height}; }
    // The whole sheet fitted into `size`, as the plug-in draws the file;
    // with a `clip`, only that rectangle of it (a tile: its pixels are those
    // of the whole picture).
    QImage Draw(const QSize &size, const QRect &clip = QRect());
    // The library's words for the last failure.
    const QString &Error() const { return error_; }

private:
    bool Opened(plotmira_status status);
    bool Fail(plotmira_status status);

    plotmira_document *doc_ = nullptr;
    plotmira_info info_ = {};
    QString error_;
};

// The plug-in's thumbnail size inside a box: the width the box allows for a
// picture of the plug-in's proportion, as "plotmira thumbnail -s" draws it.
QSize ThumbnailSize(const QSize &box);

// Whether bytes start as a drawing or a figure does.
bool HasSignature(const QByteArray &head);

}  // namespace plotmira_qt
