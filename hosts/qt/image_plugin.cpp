// The Qt image-format plug-in: QImageReader, and so every Qt program that
// reads images (Gwenview, Dolphin's previews, ...), reads Jw_cad drawings
// (.jww) and figures (.jws) through the library.
//
// Options: Size is the plug-in's picture size; ScaledSize draws the sheet
// at that size (not a large picture scaled down); ClipRect and
// ScaledClipRect draw only that rectangle of the picture, sharp, with the
// pixels the whole picture has there.
#include <QIODevice>
#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QFile>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <memory>

#include "drawing_image.h"

namespace {

using plotmira_qt::Drawing;

class JwcadHandler : public QImageIOHandler {
public:
    bool canRead() const override
    {
        if (!CanRead(device())) return false;
        const_cast<JwcadHandler *>(this)->setFormat(device()->peek(8) == "JwsData." ? "jws" : "jww");
        return true;
    }

    static bool CanRead(QIODevice *device) { return device != nullptr && plotmira_qt::HasSignature(device->peek(8)); }

    bool read(QImage *image) override
    {
        if (!Open()) return false;
        const QSize natural = drawing_->NaturalSize();
        QSize size = scaledSize_.isValid() && !scaledSize_.isEmpty() ? scaledSize_ : natural;
        QRect clip;
        if (clipRect_.isValid()) {
            // A rectangle of the natural picture, then scaled to ScaledSize:
            // drawn at the scale that makes the rectangle that size.
            clip = clipRect_.intersected(QRect(QPoint(0, 0), natural));
            if (clip.isEmpty()) return Failed(QStringLiteral("the clip rectangle is outside the picture"));
            if (scaledSize_.isValid() && !scaledSize_.isEmpty()) {
                const double sx = double(size.width()) / clip.width();
                const double sy = double(size.height()) / clip.height();
                const double canvasWidth = natural.width() * sx, canvasHeight = natural.height() * sx;
                if (std::fabs(sx - sy) > 0.01 * std::max(sx, sy) || canvasWidth > PLOTMIRA_MAX_CANVAS_SIDE ||
                    canvasHeight > PLOTMIRA_MAX_CANVAS_SIDE) {
                    // Stretched (the views keep the sheet's proportion), or
                    // beyond any canvas: the rectangle is drawn as it is and
                    // then scaled.
                    QImage picture = drawing_->Draw(natural, clip);
                    if (picture.isNull()) return Failed(drawing_->Error());
                    picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                    if (scaledClipRect_.isValid()) picture = picture.copy(scaledClipRect_);
                    if (picture.isNull()) return Failed(QStringLiteral("not enough memory for the picture"));
                    *image = picture;
                    return true;
                }
                clip = QRect(qRound(clip.x() * sx), qRound(clip.y() * sx), size.width(), size.height());
                size = QSize(qRound(canvasWidth), qRound(canvasHeight));
            }
        }
        if (scaledClipRect_.isValid()) {
            const QRect within = clip.isValid() ? clip : QRect(QPoint(0, 0), size);
            clip = scaledClipRect_.translated(within.topLeft()).intersected(within);
            if (clip.isEmpty()) return Failed(QStringLiteral("the clip rectangle is outside the picture"));
        }
        QImage picture = drawing_->Draw(size, clip);
        if (picture.isNull()) return Failed(drawing_->Error());
        *image = picture;
        return true;
    }

    QVariant option(ImageOption option) const override
    {
        if (option == ImageFormat) return QImage::Format_RGB32;
        if (option == Size) {
            // Asked before the picture is read (and the device handed to a
            // reader again, as Gwenview does): the device is left where it was.
            QIODevice *in = device();
            const qint64 start = in != nullptr ? in->pos() : 0;
            const bool opened = const_cast<JwcadHandler *>(this)->Open();
            if (in != nullptr && !in->isSequential()) in->seek(start);
            return opened ? QVariant(drawing_->NaturalSize()) : QVariant();
        }
        if (option == ScaledSize) return scaledSize_;
        if (option == ClipRect) return clipRect_;
        if (option == ScaledClipRect) return scaledClipRect_;
        return QVariant();
    }

    void setOption(ImageOption option, const QVariant &value) override
    {
        if (option == ScaledSize) scaledSize_ = value.toSize();
        if (option == ClipRect) clipRect_ = value.toRect();
        if (option == ScaledClipRect) scaledClipRect_ = value.toRect();
    }

    bool supportsOption(ImageOption option) const override
    {
        return option == Size || option == ScaledSize || option == ClipRect || option == ScaledClipRect ||
               option == ImageFormat;
    }

private:
    // The device's drawing, opened once: by the file's name where the device
    // is a file read from its start, else from the bytes it gives (no more
    // than the library takes).
    bool Open()
    {
        if (drawing_) return opened_;
        drawing_ = std::make_unique<Drawing>();
        QIODevice *in = device();
        if (in == nullptr) return Failed(QStringLiteral("no device to read"));
        auto *file = qobject_cast<QFile *>(in);
        // (Not a Qt resource, ":/…", which only Qt can open.)
        if (file != nullptr && !file->fileName().isEmpty() && !file->fileName().startsWith(QLatin1Char(':')) &&
            file->pos() == 0 && file->exists()) {
            opened_ = drawing_->OpenFile(file->fileName());
        } else {
            QByteArray bytes;
            while (static_cast<size_t>(bytes.size()) <= PLOTMIRA_MAX_INPUT_BYTES) {
                const QByteArray piece = in->read(1 << 20);
                if (piece.isEmpty()) break;
                bytes += piece;
            }
            opened_ = drawing_->OpenBytes(bytes);
        }
        return opened_ || Failed(drawing_->Error());
    }

    bool Failed(const QString &words)
    {
        qWarning("Jw_cad: %s", qUtf8Printable(words));
        return false;
    }

    std::unique_ptr<Drawing> drawing_;
    bool opened_ = false;
    QSize scaledSize_;
    QRect clipRect_;
    QRect scaledClipRect_;
};

class JwcadPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QImageIOHandlerFactoryInterface" FILE "plotmira.json")
public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override
    {
        if (format == "jww" || format == "jws") return CanRead;
        if (!format.isEmpty() || device == nullptr || !device->isOpen()) return {};
        return JwcadHandler::CanRead(device) ? CanRead : Capabilities();
    }

    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        auto *handler = new JwcadHandler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }
};

}  // namespace

#include "image_plugin.moc"
