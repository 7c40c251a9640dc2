// icon_pixels OUT.cpp IN.png...: the program icon's pictures as premultiplied ARGB32 pixels
// in C++ arrays, so that the program shows its icon without decoding an image at start
// (the first image read looks through every image format plugin installed).
#include <QImage>
#include <QString>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: icon_pixels OUT.cpp IN.png...\n");
        return 2;
    }
    std::string out = "// Made by icon_pixels from the program's icon pictures: edit those, not this.\n"
                      "#include \"shell/IconPixels.h\"\n\nnamespace {\n";
    std::string table = "} // namespace\n\nconst TIconPixels ProgramIconPixels[] = {\n";
    for (int i = 2; i < argc; ++i) {
        const QImage image =
            QImage(QString::fromLocal8Bit(argv[i])).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull() || image.width() != image.height()) {
            std::fprintf(stderr, "icon_pixels: %s is not a square picture\n", argv[i]);
            return 1;
        }
        const std::string name = "Pixels" + std::to_string(i - 2);
        out += "alignas(4) const unsigned char " + name + "[] = {";
        const uchar *p = image.constBits();
        const qsizetype n = qsizetype(image.width()) * image.height() * 4; // no padding: 4 bytes a pixel
        for (qsizetype k = 0; k < n; ++k)
            out += (k == 0 ? "\n    " : k % 24 ? "," : ",\n    ") + std::to_string(p[k]);
        out += "};\n";
        table += "    {" + std::to_string(image.width()) + ", " + name + "},\n";
    }
    out += table + "};\nconst int ProgramIconPixelCount = " + std::to_string(argc - 2) + ";\n";
    std::ofstream f(argv[1], std::ios::binary);
    f << out;
    return f.good() ? 0 : 1;
}
