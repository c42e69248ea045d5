#include "core/browse/FileTypeName.h"

#include <array>
#include <initializer_list>

namespace {

struct TypeRule {
    bool wholeName; // compare the whole upper-cased name instead of the extension
    std::initializer_list<const char *> keys;
    const char *typeName;
};

// Checked in this order; the first match wins (SETUP.EXE before .EXE).
const std::array<TypeRule, 30> &typeRules() {
    static const std::array<TypeRule, 30> rules = {{
        {false, {".PDF"}, "PDF File"},
        {false, {".CPP"}, "VC Source"},
        {false, {".H"}, "Header File"},
        {false, {".C"}, "C Source"},
        {true, {"SETUP.EXE"}, "SETUP File"},
        {true, {"ISUNINST.EXE"}, "UNINSTALL File"},
        {false, {".TXT", ".LOG"}, "TEXT File"},
        {false, {".ZIP", ".ARJ", ".TGZ", ".RAR", ".TAR", ".LZH", ".LZA", ".CAB"}, "ZIP File"},
        {false, {".EXE", ".COM", ".BAT"}, "Application"},
        {false, {".AU", ".WAV", ".MP3"}, "SOUND File"},
        {false, {".HTM", ".HTML"}, "HTML Document"},
        {false, {".DOC"}, "WORD Document"},
        {false, {".MPG", ".MPEG", ".AVI"}, "VIDEO File"},
        {false, {".HLP"}, "HELP File"},
        {false, {".BMP"}, "Bitmap File"},
        {false, {".ICO"}, "Icon File"},
        {false, {".DBF", ".DBT", ".MEM"}, "FOXPRO File"},
        {false, {".DLL", ".SYS", ".OCX", ".VXD", ".INI", ".DRV"}, "DRIVERS File"},
        {false,
         {".JPG", ".GIF", ".JPEG", ".AIS", ".EMF", ".IFF", ".KDC", ".PCD", ".PCX", ".PIC", ".PIX", ".PNG",
          ".PSD", ".SGI", ".TIF", ".TIFF", ".WMF"},
         "Picture File"},
        {false, {".TSK", ".CPX", ".ROM", ".CFG", ".STF", ".LST", ".INF"}, "WINDOWS File"},
        {false, {".CUR", ".ANI"}, "CURSOR File"},
        {false, {".FON"}, "FONT File"},
        {false, {".BAK"}, "Backup File"},
        {false, {".JAVA"}, "JAVA Source"},
        {false, {".CLASS"}, "JAVA Class"},
        {false, {".BEAN"}, "JAVA Bean"},
        {false, {".REG"}, "REGISTRY File"},
        {false, {".MDB"}, "ACCESS Database"},
        {false, {".XLS"}, "EXCEL File"},
        {false, {".CHM"}, "HTML Help"},
    }};
    return rules;
}

const QString kFileSuffix = QStringLiteral(" File");

} // namespace

QString asciiUpper(const QString &text) {
    QString upper = text;
    for (QChar &c : upper) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) {
            c = QChar(c.unicode() - ('a' - 'A'));
        }
    }
    return upper;
}

QString getFileTypeName(const QString &fileName) {
    const qsizetype firstDot = fileName.indexOf(QLatin1Char('.'));
    const QString upper = asciiUpper(fileName);
    if (firstDot == 0) {
        return upper + kFileSuffix;
    }
    const QString extension = firstDot < 0 ? upper : upper.mid(firstDot);
    for (const TypeRule &rule : typeRules()) {
        const QString &subject = rule.wholeName ? upper : extension;
        for (const char *key : rule.keys) {
            if (subject == QLatin1String(key)) {
                return QString::fromLatin1(rule.typeName);
            }
        }
    }
    return (extension.contains(QLatin1Char('.')) ? extension.mid(1) : extension) + kFileSuffix;
}
