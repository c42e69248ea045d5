#include "core/inspection/ContentTypes.h"

namespace ContentTypes {
namespace {

// Lists of names parted by blanks. A type pattern ending in "*" matches every type that starts with
// what comes before it.
using Names = QStringView;

// Text as libmagic sees it: every text/ type, and JSON and mail, which it names on their own.
constexpr Names kText = u"text/* application/json message/*";
// The compound file of Office 97-2003 (and WPS), by every name libmagic gives it; a truncated or
// unusual one is still a compound file.
constexpr Names kCompound =
    u"application/x-ole-storage application/CDFV2* application/msword application/vnd.ms-*";
// Office Open XML is a zip; libmagic names the kind only when the zip's first member says it.
constexpr Names kOfficeOpenXml = u"application/vnd.openxmlformats-officedocument.* application/zip";
constexpr Names kOpenDocument = u"application/vnd.oasis.opendocument.* application/zip";
// Types whose content says nothing: an empty file.
constexpr Names kEmpty = u"application/x-empty inode/x-empty";

struct Rule {
    Names extensions;
    Names types;
};

constexpr Rule kRules[] = {
    {u"txt log ini cfg md csv json", kText},
    {u"xml", u"text/* application/xml"},
    {u"html htm", u"text/*"},
    {u"rtf", u"text/rtf"},
    {u"pdf", u"application/pdf"},
    {u"xls ppt et dps", kCompound},
    // Word saves RTF under .doc when asked to, and people keep the name.
    {u"doc wps",
     u"application/x-ole-storage application/CDFV2* application/msword application/vnd.ms-* text/rtf"},
    {u"docx xlsx pptx", kOfficeOpenXml},
    {u"odt ods odp", kOpenDocument},
    {u"jpg jpeg", u"image/jpeg"},
    {u"png", u"image/png"},
    {u"gif", u"image/gif"},
    {u"bmp", u"image/bmp image/x-ms-bmp"},
    {u"tif tiff", u"image/tiff"},
    // Office documents are zips too, and libmagic names them by their kind.
    {u"zip",
     u"application/zip application/vnd.openxmlformats-officedocument.* application/vnd.oasis.opendocument.*"},
    {u"7z", u"application/x-7z-compressed"},
    {u"rar", u"application/x-rar application/vnd.rar application/x-rar-compressed"},
    {u"tar", u"application/x-tar application/x-gtar"},
    {u"gz tgz", u"application/gzip application/x-gzip"},
    {u"bz2 tbz2", u"application/x-bzip2"},
    {u"xz txz", u"application/x-xz"},
};

struct Description {
    Names types;
    QStringView text;
};

// The first that matches describes the type.
constexpr Description kDescriptions[] = {
    {u"application/x-executable application/x-pie-executable application/x-sharedlib", u"ELF 可执行程序"},
    {u"application/x-object application/x-coredump", u"ELF 二进制文件"},
    {u"application/vnd.microsoft.portable-executable application/x-dosexec application/x-msdownload",
     u"Windows 可执行程序"},
    {u"application/x-msi", u"Windows 安装包"},
    {u"application/x-mach-binary", u"macOS 可执行程序"},
    {u"application/java-archive application/x-java-applet", u"Java 程序"},
    {u"text/x-shellscript", u"Shell 脚本"},
    {u"text/x-msdos-batch", u"批处理脚本"},
    {u"text/html", u"HTML 网页"},
    {u"text/xml application/xml", u"XML 文本"},
    {u"text/rtf", u"RTF 文档"},
    {kText, u"文本"},
    {u"application/pdf", u"PDF 文档"},
    {kCompound, u"Office 97-2003 文档"},
    {u"application/vnd.openxmlformats-officedocument.*", u"Office 文档（docx/xlsx/pptx）"},
    {u"application/vnd.oasis.opendocument.*", u"OpenDocument 文档"},
    {u"application/zip", u"ZIP 压缩包"},
    {u"application/x-7z-compressed", u"7z 压缩包"},
    {u"application/x-rar application/vnd.rar application/x-rar-compressed", u"RAR 压缩包"},
    {u"application/x-tar application/x-gtar", u"tar 归档"},
    {u"application/gzip application/x-gzip", u"gzip 压缩文件"},
    {u"application/x-bzip2", u"bzip2 压缩文件"},
    {u"application/x-xz", u"xz 压缩文件"},
    {u"application/x-iso9660-image", u"光盘映像"},
    {u"image/jpeg", u"JPEG 图片"},
    {u"image/png", u"PNG 图片"},
    {u"image/gif", u"GIF 图片"},
    {u"image/bmp image/x-ms-bmp", u"BMP 图片"},
    {u"image/*", u"图片"},
    {u"audio/*", u"音频"},
    {u"video/*", u"视频"},
    {u"application/octet-stream", u"无法识别的二进制数据"},
};

bool matches(QStringView pattern, const QString &mimeType) {
    if (pattern.endsWith(u'*')) {
        return mimeType.startsWith(pattern.chopped(1), Qt::CaseInsensitive);
    }
    return mimeType.compare(pattern, Qt::CaseInsensitive) == 0;
}

bool matchesAny(Names patterns, const QString &mimeType) {
    for (const QStringView pattern : patterns.tokenize(u' ', Qt::SkipEmptyParts)) {
        if (matches(pattern, mimeType)) {
            return true;
        }
    }
    return false;
}

const Rule *ruleOf(const QString &extension) {
    for (const Rule &rule : kRules) {
        for (const QStringView known : rule.extensions.tokenize(u' ', Qt::SkipEmptyParts)) {
            if (extension.compare(known, Qt::CaseInsensitive) == 0) {
                return &rule;
            }
        }
    }
    return nullptr;
}

} // namespace

bool knows(const QString &extension) {
    return ruleOf(extension) != nullptr;
}

bool takesAnyText(const QString &extension) {
    const Rule *rule = ruleOf(extension);
    return rule && rule->types.contains(u"text/*");
}

bool fits(const QString &extension, const QString &mimeType) {
    const Rule *rule = ruleOf(extension);
    return !rule || matchesAny(kEmpty, mimeType) || matchesAny(rule->types, mimeType);
}

QString describe(const QString &mimeType) {
    for (const Description &description : kDescriptions) {
        if (matchesAny(description.types, mimeType)) {
            return description.text.toString();
        }
    }
    return mimeType;
}

QString mismatch(const QString &extension, const QString &mimeType) {
    return QStringLiteral("内容是 %1，与扩展名 .%2 不符").arg(describe(mimeType), extension);
}

} // namespace ContentTypes
