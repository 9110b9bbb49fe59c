#include "drawing_image.h"

#include <QFile>
#include <algorithm>
#include <cmath>

namespace plotmira_qt {

namespace {

// The user's settings, as the plug-in takes them.
plotmira_open_options UserSettings()
{
    plotmira_open_options options;
    plotmira_open_options_init(&options);
    options.settings = PLOTMIRA_SETTINGS_USER;
    return options;
}
}  // namespace

Drawing::~Drawing() { plotmira_close(doc_); }

bool Drawing::OpenFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const plotmira_open_options options = UserSettings();
    return Opened(plotmira_open_file_with(name.constData(), &options, &doc_));
}

bool Drawing::OpenBytes(const QByteArray &bytes)
{
    if (static_cast<size_t>(bytes.size()) > PLOTMIRA_MAX_INPUT_BYTES) return Fail(PLOTMIRA_ERR_TOO_LARGE);
    const plotmira_open_options options = UserSettings();
    return Opened(plotmira_open_memory_with(bytes.constData(), static_cast<size_t>(bytes.size()), &options, &doc_));
}

bool Drawing::Opened(plotmira_status status)
{
    if (status != PLOTMIRA_OK) return Fail(status);
    info_.struct_size = sizeof info_;
    status = plotmira_describe(doc_, &info_);
    if (status == PLOTMIRA_OK && !info_.version_drawn) status = PLOTMIRA_ERR_VERSION;
    if (status != PLOTMIRA_OK) {
        plotmira_close(doc_);
        doc_ = nullptr;
        return Fail(status);
    }
    return true;
}

bool Drawing::Fail(plotmira_status status)
{
    if (status == PLOTMIRA_ERR_VERSION && info_.version != 0) {
        error_ = QStringLiteral("the drawing's version %1 is not supported").arg(info_.version);
    } else {
        error_ = QString::fromUtf8(plotmira_strerror(status));
    }
    return false;
}

QImage Drawing::Draw(const QSize &size, const QRect &clip)
{
    if (doc_ == nullptr) return QImage();
    const QRect picture = clip.isValid() ? clip : QRect(QPoint(0, 0), size);
    plotmira_view view;
    plotmira_view_init(&view, picture.width(), picture.height());
    view.canvas_width = size.width();
    view.canvas_height = size.height();
    view.origin_x = picture.x();
    view.origin_y = picture.y();
    if (info_.print_by_name && info_.print_view > 0) {
        view.pens = PLOTMIRA_PENS_PRINT;
        view.registered_view = info_.print_view;
    }
    if (picture.width() < 1 || picture.height() < 1 || picture.width() > PLOTMIRA_MAX_SIDE ||
        picture.height() > PLOTMIRA_MAX_SIDE ||
        int64_t{picture.width()} * picture.height() > int64_t{PLOTMIRA_MAX_PIXELS}) {
        Fail(PLOTMIRA_ERR_VIEW);
        return QImage();
    }
    QImage image(picture.size(), QImage::Format_RGB32);
    if (image.isNull()) {
        Fail(PLOTMIRA_ERR_NO_MEMORY);
        return QImage();
    }
    // RGB32 is 0xffRRGGBB in a 32-bit word: blue, green, red, 255 in memory
    // on a little-endian machine.
    const plotmira_pixel_format format =
        QSysInfo::ByteOrder == QSysInfo::LittleEndian ? PLOTMIRA_PIXELS_BGRA32 : PLOTMIRA_PIXELS_INT;
    const plotmira_image pixels = {sizeof pixels, format, image.bits(), static_cast<size_t>(image.bytesPerLine()),
                                   static_cast<size_t>(image.sizeInBytes())};
    const plotmira_status status = plotmira_render(doc_, &view, &pixels);
    if (status != PLOTMIRA_OK) {
        Fail(status);
        return QImage();
    }
    return image;
}

QSize ThumbnailSize(const QSize &box)
{
    const int width =
        std::max(1, std::min(box.width(), static_cast<int>(std::floor(box.height() / PLOTMIRA_RASTER_ASPECT))));
    return {width, std::max(1, static_cast<int>(width * PLOTMIRA_RASTER_ASPECT))};
}

bool HasSignature(const QByteArray &head) { return head.startsWith("JwwData.") || head.startsWith("JwsData."); }

}  // namespace plotmira_qt
