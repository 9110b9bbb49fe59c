// Dolphin's thumbnails of Jw_cad drawings (.jww) and figures (.jws): a KIO
// thumbnail plug-in that draws the sheet at the size asked for, times the
// screen's pixel ratio, through the library.
#include <KIO/ThumbnailCreator>
#include <KPluginFactory>

#include "drawing_image.h"

namespace {

class JwcadThumbnailer : public KIO::ThumbnailCreator {
    Q_OBJECT
public:
    JwcadThumbnailer(QObject *parent, const QVariantList &args) : KIO::ThumbnailCreator(parent, args) {}

    KIO::ThumbnailResult create(const KIO::ThumbnailRequest &request) override
    {
        const QString path = request.url().toLocalFile();
        const qreal ratio = request.devicePixelRatio() > 0 ? request.devicePixelRatio() : 1.0;
        const QSize box = request.targetSize() * ratio;
        plotmira_qt::Drawing drawing;
        if (path.isEmpty() || box.isEmpty() || !drawing.OpenFile(path)) return KIO::ThumbnailResult::fail();
        QImage picture = drawing.Draw(plotmira_qt::ThumbnailSize(box));
        if (picture.isNull()) return KIO::ThumbnailResult::fail();
        picture.setDevicePixelRatio(ratio);
        return KIO::ThumbnailResult::pass(picture);
    }
};

}  // namespace

K_PLUGIN_CLASS_WITH_JSON(JwcadThumbnailer, "plotmirathumbnail.json")

#include "thumbnailer.moc"
