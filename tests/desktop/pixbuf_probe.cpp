// pixbuf_probe INPUT OUTPUT.bmp [WIDTH HEIGHT | --at-size N]: loads INPUT the
// way GTK programs do, through gdk-pixbuf and whatever loader its module file
// names, and writes the pixbuf it gets. The bytes go in small pieces, so
// the loader's incremental path is the one tested. WIDTH HEIGHT ask for that
// size (gdk_pixbuf_loader_set_size); --at-size N asks for a picture that
// fits N x N, keeping its shape, as thumbnailers do. On failure it prints
// gdk-pixbuf's message and exits 1.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hosts/cli/image_files.h"

namespace {

constexpr size_t kPieceBytes = 1000;

int Fail(GError *error)
{
    std::printf("error: %s\n", error != nullptr ? error->message : "(no message)");
    if (error != nullptr) g_error_free(error);
    return 1;
}

RgbImage ImageOf(GdkPixbuf *pixbuf)
{
    RgbImage image;
    image.width = gdk_pixbuf_get_width(pixbuf);
    image.height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar *pixels = gdk_pixbuf_read_pixels(pixbuf);
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                image.rgb[(static_cast<size_t>(y) * image.width + x) * 3 + c] = pixels[y * stride + x * channels + c];
            }
        }
    }
    return image;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: pixbuf_probe INPUT OUTPUT.bmp [WIDTH HEIGHT | --at-size N]\n");
        return 2;
    }
    GError *error = nullptr;
    GdkPixbuf *pixbuf = nullptr;
    if (argc == 5 && std::strcmp(argv[3], "--at-size") == 0) {
        const int size = std::atoi(argv[4]);
        pixbuf = gdk_pixbuf_new_from_file_at_size(argv[1], size, size, &error);
        if (pixbuf == nullptr) return Fail(error);
    } else {
        gchar *contents = nullptr;
        gsize length = 0;
        if (!g_file_get_contents(argv[1], &contents, &length, &error)) return Fail(error);
        GdkPixbufLoader *loader = gdk_pixbuf_loader_new();
        if (argc == 5) gdk_pixbuf_loader_set_size(loader, std::atoi(argv[3]), std::atoi(argv[4]));
        bool fed = true;
        for (gsize at = 0; at < length && fed; at += kPieceBytes) {
            const gsize piece = length - at < kPieceBytes ? length - at : kPieceBytes;
            fed = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar *>(contents) + at, piece, &error);
        }
        g_free(contents);
        const bool closed = gdk_pixbuf_loader_close(loader, fed ? &error : nullptr);
        if (!fed || !closed) {
            g_object_unref(loader);
            return Fail(error);
        }
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
        if (pixbuf == nullptr) {
            g_object_unref(loader);
            return Fail(nullptr);
        }
        g_object_ref(pixbuf);
        g_object_unref(loader);
    }
    std::string message;
    const bool written = WriteBmp(argv[2], ImageOf(pixbuf), &message);
    g_object_unref(pixbuf);
    if (!written) {
        std::fprintf(stderr, "pixbuf_probe: %s\n", message.c_str());
        return 2;
    }
    return 0;
}
