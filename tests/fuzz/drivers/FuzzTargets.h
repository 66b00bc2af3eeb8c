#pragma once
// The fuzz targets: each takes one input of outside data and hands it to a
// parser the way the program does. Shared by the in-process mutation loop
// under Wine and, for the targets that build natively, by libFuzzer.
#include <cstddef>
#include <cstdint>

void FuzzInstallerDataUtf8(const uint8_t* data, size_t size);
void FuzzInstallerDataUtf16(const uint8_t* data, size_t size);
void FuzzInstallerDataTrailer(const uint8_t* data, size_t size);
void FuzzBuildConfig(const uint8_t* data, size_t size);
void FuzzServerAnswer(const uint8_t* data, size_t size);
void FuzzMsiRecords(const uint8_t* data, size_t size);
// Windows only: needs the request interface.
void FuzzHttpHeaders(const uint8_t* data, size_t size);
