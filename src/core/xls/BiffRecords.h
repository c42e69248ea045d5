#pragma once

#include <QtGlobal>

// Record numbers and limits of the Excel 97-2003 (BIFF8) workbook stream, shared by the writer and
// the reader so both speak exactly the same dialect.
namespace Xls::Biff {

// Record types.
constexpr quint16 Bof = 0x0809;
constexpr quint16 Eof = 0x000A;
constexpr quint16 Continue = 0x003C;
constexpr quint16 CodePage = 0x0042;
constexpr quint16 FilePass = 0x002F;
constexpr quint16 Window1 = 0x003D;
constexpr quint16 Font = 0x0031;
constexpr quint16 Xf = 0x00E0;
constexpr quint16 Style = 0x0293;
constexpr quint16 BoundSheet = 0x0085;
constexpr quint16 Sst = 0x00FC;
constexpr quint16 ExtSst = 0x00FF;
constexpr quint16 Dimensions = 0x0200;
constexpr quint16 Window2 = 0x023E;
constexpr quint16 LabelSst = 0x00FD;
constexpr quint16 Label = 0x0204;
constexpr quint16 RString = 0x00D6;
constexpr quint16 Number = 0x0203;
constexpr quint16 Rk = 0x027E;
constexpr quint16 MulRk = 0x00BD;
constexpr quint16 BoolErr = 0x0205;
constexpr quint16 Formula = 0x0006;
// The formula record's number before BIFF5, which some writers still use; its fields are the same.
constexpr quint16 FormulaOld = 0x0406;
constexpr quint16 String = 0x0207;
constexpr quint16 Blank = 0x0201;
constexpr quint16 MulBlank = 0x00BE;

// A BOF record's data: 4 bytes (BIFF2) up to 16 (BIFF8).
constexpr int MinBofData = 4;
constexpr int MaxBofData = 16;

// BOF fields.
constexpr quint16 VersionBiff8 = 0x0600;
constexpr quint16 VersionBiff5 = 0x0500;
constexpr quint16 SubstreamGlobals = 0x0005;
constexpr quint16 SubstreamWorksheet = 0x0010;

// BOUNDSHEET sheet type of an ordinary worksheet.
constexpr quint8 SheetTypeWorksheet = 0x00;

// Unicode string option flags.
constexpr quint8 StringHighByte = 0x01;
constexpr quint8 StringExtended = 0x04;
constexpr quint8 StringRich = 0x08;

// Largest data part of one record; longer data goes on in CONTINUE records.
constexpr int MaxRecordData = 8224;
constexpr int RecordHeaderSize = 4;

// Sheet limits of the format.
constexpr int MaxRows = 65536;
constexpr int MaxColumns = 256;
constexpr int MaxCellChars = 32767;
constexpr int MaxSheetNameChars = 31;

// Excel reads the workbook stream most reliably from ordinary (big-block) storage, so the writer pads
// it to the compound file's small-stream cutoff.
constexpr int MinStreamSize = 4096;

// The one cell format the writer emits: the first after the 15 style formats.
constexpr quint16 CellXfIndex = 15;

} // namespace Xls::Biff
