// Identifiers of the string table in module/dirira.rc.
#pragma once

#define IDS_FORMAT_BMP 7001     // "BMP (無圧縮)": uncompressed
#define IDS_FORMAT_BMP_RLE 7002 // "BMP (RLE圧縮)": run-length compressed
