// Writes hostile drawings of about 16 MB each, to measure the worst time and
// memory of a conversion at 1920 pixels:
//   bench_worst_cases FOLDER && for f in FOLDER/*.jww; do /usr/bin/time -v plotmira render $f -o out.png; done
#include <cstdio>
#include <string>

#include "tests/writer/jw_writer.h"

namespace {

constexpr size_t kTargetBytes = 16u << 20;
constexpr double kPi = 3.1415926535;

template <typename Object>
bool Write(const std::string &path, uint32_t perObjectBytes, Object object)
{
    ArchiveWriter out;
    WriteDrawingHeader(out, DrawingOptions{});
    ObjectWriter objects(out, 600);
    const uint32_t count = static_cast<uint32_t>(kTargetBytes / perObjectBytes);
    out.Count(count);
    for (uint32_t i = 0; i < count; ++i) object(objects, i);
    out.Count(0);
    return SaveFile(path, out.Bytes());
}

Attributes Pen(uint16_t pen, uint8_t type)
{
    Attributes a;
    a.penColor = pen;
    a.penStyle = type;
    return a;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_worst_cases FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = Write(folder + "/solid_lines.jww", 49, [](ObjectWriter &o, uint32_t i) {
        o.Line(Pen(1 + i % 8, 1), -300, -200 + (i % 400), 300, 200 - (i % 400));
    });
    ok = ok && Write(folder + "/dashed_lines.jww", 49, [](ObjectWriter &o, uint32_t i) {
             o.Line(Pen(8, static_cast<uint8_t>(2 + i % 8)), -1e6, -150 + (i % 300), 1e6, 150 - (i % 300));
         });
    ok = ok && Write(folder + "/random_lines.jww", 49, [](ObjectWriter &o, uint32_t i) {
             o.Line(Pen(8, static_cast<uint8_t>(11 + i % 5)), -300, -150 + (i % 300), 300, 150 - (i % 300));
         });
    ok = ok && Write(folder + "/circles.jww", 79,
                     [](ObjectWriter &o, uint32_t i) { o.Arc(Pen(8, 2), 0, 0, 50 + i % 200, 0, 2 * kPi, 0, 1, 1); });
    ok = ok && Write(folder + "/solids.jww", 83, [](ObjectWriter &o, uint32_t i) {
             const double quad[8] = {-300, -200, 300, -200, 300, 200, -300, 200.0 + i % 3};
             o.Solid(Pen(1 + i % 8, 1), quad);
         });
    ok = ok && Write(folder + "/texts.jww", 360, [](ObjectWriter &o, uint32_t i) {
             TextSpec t;
             t.attributes = Pen(2, 1);
             t.x1 = -200;
             t.y1 = -100 + (i % 200);
             t.x2 = 200;
             t.y2 = t.y1;
             t.width = t.height = 40;
             t.text = std::string(250, static_cast<char>('A' + i % 26));
             o.Text(t);
         });
    return ok ? 0 : 1;
}
