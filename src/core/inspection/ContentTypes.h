#pragma once

#include <QString>

// What each file-name extension may hold, judged by the MIME type libmagic finds in the content, and
// the operator's words for the types found. An extension the table does not know fits every content:
// for those the allow-list alone decides.
namespace ContentTypes {

// True when the table has a rule for extension (any case).
bool knows(const QString &extension);

// True when every text content fits extension (its rule takes text/*).
bool takesAnyText(const QString &extension);

// True when a file named with extension may hold content of mimeType (as libmagic names it). Empty
// content fits every extension.
bool fits(const QString &extension, const QString &mimeType);

// A short description of a detected type ("ELF 可执行程序", "PDF 文档" …), or the MIME type itself.
QString describe(const QString &mimeType);

// Why content of mimeType is refused under extension: "内容是 ELF 可执行程序，与扩展名 .txt 不符".
QString mismatch(const QString &extension, const QString &mimeType);

} // namespace ContentTypes
