#pragma once

// The program's notion of a dangerous file: a type code from a path's extension.

// Type codes. 0 is "of no interest"; the numbers are fixed because every
// caller's listing rule is written in them.
enum FileTypeCode : int {
    kTypeNone = 0,
    kTypeExe = 1, kTypeCom, kTypeDll, kTypeHtml, kTypeBat, kTypeInf, kTypePif,
    kTypeReg, kTypeLnk, kTypeScr, kTypeAsp, kTypeJs, kTypeVbs, kTypeWsf,
    kTypeWsh, kTypeAspx, kTypeHtt, kTypeHtm, kTypeHtx, kTypeJsp, kTypeJse,
    kTypeWs, kTypeWsc, kTypeVb, kTypeVbe, kTypeCmd, kTypeHta = 27,
};

// The type code of a zero-terminated ANSI path: 0 for a directory, a path that
// cannot be queried, a name without extension or an extension not in the table.
int ClassifyFile(const char* path);

// The code the path's extension alone gives, without asking the file system:
// what ClassifyFile answers for a path known to be a file. For callers that
// hold the attributes already (a directory search).
int ClassifyFileName(const char* path);

// True when both texts are exactly n bytes long and equal position by position,
// where bytes that are equal or 32 apart (as signed 8-bit values) match. This
// folds ASCII and Windows-1251 Cyrillic letter case.
bool SameTextNoCase(const char* a, const char* b, int n);
