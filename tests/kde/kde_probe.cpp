// kde_probe: what Qt and KDE programs see of the Qt image-format plug-in and
// the KIO thumbnailer, through Qt's and KIO's own loading.
//   kde_probe read IN OUT.png [--scaled W H] [--clip X Y W H] [--scaled-clip X Y W H]
//       QImageReader, as any Qt program reads an image; prints "size WxH"
//       (the Size option) before the picture is read
//   kde_probe read-buffer IN OUT.png
//       as Gwenview reads: the bytes in a QBuffer, one reader asks the size,
//       a second reader on the same buffer reads the picture
//   kde_probe mimetypes           QImageReader::supportedMimeTypes(), one a line
//   kde_probe thumbnail PLUGIN IN OUT.png SIZE
//       the thumbnailer loaded with KPluginFactory from its file
//   kde_probe crop IN.png OUT.png X Y W H      a rectangle of a picture (Qt's PNG reader)
//   kde_probe time IN SIZE N                   milliseconds a ScaledSize read takes, median of N
//   kde_probe preview IN OUT.png SIZE PLUGIN_ID
//       the whole KIO path: KIO::filePreview, its worker, the plug-in found
//       on the plug-in path
// Exit 0 with the picture written, 1 with "error: ..." on a failure.
#include <KFileItem>
#include <KIO/PreviewJob>
#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <KPluginMetaData>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPixmap>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int Fail(const QString &words)
{
    std::printf("error: %s\n", qUtf8Printable(words));
    return 1;
}

int Save(const QImage &image, const QString &path)
{
    if (image.isNull()) return Fail(QStringLiteral("no picture"));
    return image.convertToFormat(QImage::Format_RGB888).save(path, "PNG") ? 0 : Fail("cannot write " + path);
}

int Read(const QStringList &args)
{
    QImageReader reader(args[2]);
    for (int i = 4; i < args.size(); ++i) {
        if (args[i] == "--scaled" && i + 2 < args.size()) {
            reader.setScaledSize(QSize(args[i + 1].toInt(), args[i + 2].toInt()));
            i += 2;
        } else if ((args[i] == "--clip" || args[i] == "--scaled-clip") && i + 4 < args.size()) {
            const QRect rect(args[i + 1].toInt(), args[i + 2].toInt(), args[i + 3].toInt(), args[i + 4].toInt());
            if (args[i] == "--clip")
                reader.setClipRect(rect);
            else
                reader.setScaledClipRect(rect);
            i += 4;
        } else {
            return Fail("unknown option " + args[i]);
        }
    }
    std::printf("size %dx%d\n", reader.size().width(), reader.size().height());
    const QImage image = reader.read();
    if (image.isNull()) return Fail(reader.errorString());
    return Save(image, args[3]);
}

int ReadBuffer(const QStringList &args)
{
    QFile file(args[2]);
    if (!file.open(QIODevice::ReadOnly)) return Fail("cannot open " + args[2]);
    QByteArray bytes = file.readAll();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QSize size = QImageReader(&buffer, "jww").size();
    QImageReader reader(&buffer, "jww");
    const QImage image = reader.read();
    if (image.isNull()) return Fail(reader.errorString());
    if (image.size() != size) return Fail(QStringLiteral("the picture is not of the size the first reader gave"));
    return Save(image, args[3]);
}

int Thumbnail(const QStringList &args)
{
    const KPluginMetaData data(args[2]);
    if (!data.isValid()) return Fail("no plug-in metadata in " + args[2]);
    auto result = KPluginFactory::instantiatePlugin<KIO::ThumbnailCreator>(data);
    if (!result) return Fail(result.errorString);
    const int size = args[5].toInt();
    const QString mime = QMimeDatabase().mimeTypeForFile(args[3]).name();
    const KIO::ThumbnailRequest request(QUrl::fromLocalFile(args[3]), QSize(size, size), mime, 1.0, 0);
    const KIO::ThumbnailResult made = result.plugin->create(request);
    delete result.plugin;
    if (!made.isValid()) return Fail(QStringLiteral("the thumbnailer failed"));
    return Save(made.image(), args[4]);
}

int Preview(const QStringList &args)
{
    const QStringList plugins{args[5]};
    const int size = args[4].toInt();
    KFileItemList items{KFileItem(QUrl::fromLocalFile(args[2]))};
    KIO::PreviewJob *job = KIO::filePreview(items, QSize(size, size), &plugins);
    job->setIgnoreMaximumSize(true);
    int status = 1;
    QString words = QStringLiteral("no preview");
    QObject::connect(job, &KIO::PreviewJob::gotPreview, [&](const KFileItem &, const QPixmap &preview) {
        status = Save(preview.toImage(), args[3]);
        words.clear();
    });
    QObject::connect(job, &KIO::PreviewJob::failed, [&](const KFileItem &) { words = "KIO: the preview failed"; });
    QObject::connect(job, &KJob::result, qApp, &QCoreApplication::quit);
    QTimer::singleShot(60000, qApp, &QCoreApplication::quit);
    QApplication::exec();
    if (!words.isEmpty()) return Fail(words);
    return status;
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString command = args.value(1);
    if (command == "read" && args.size() >= 4) return Read(args);
    if (command == "read-buffer" && args.size() == 4) return ReadBuffer(args);
    if (command == "mimetypes") {
        for (const QByteArray &type : QImageReader::supportedMimeTypes()) std::printf("%s\n", type.constData());
        return 0;
    }
    if (command == "thumbnail" && args.size() == 6) return Thumbnail(args);
    if (command == "preview" && args.size() == 6) return Preview(args);
    if (command == "time" && args.size() == 5) {
        const int size = args[3].toInt();
        std::vector<double> times;
        for (int i = 0; i < std::max(1, args[4].toInt()); ++i) {
            QElapsedTimer timer;
            timer.start();
            QImageReader reader(args[2]);
            reader.setScaledSize(QSize(size, static_cast<int>(size * 0.707)));
            if (reader.read().isNull()) return Fail(reader.errorString());
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        std::printf("%.3f ms\n", times[times.size() / 2]);
        return 0;
    }
    if (command == "crop" && args.size() == 8) {
        return Save(QImage(args[2]).copy(args[4].toInt(), args[5].toInt(), args[6].toInt(), args[7].toInt()), args[3]);
    }
    std::fprintf(stderr, "usage: kde_probe read|mimetypes|thumbnail|preview ...\n");
    return 2;
}
