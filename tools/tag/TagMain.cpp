// wrenstall-tag: adds, shows and removes the installer data trailer of a
// signed wizard, for the distribution sites. The file is only replaced after
// the new image has been written in full beside it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "InstallerDataTag.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {
int Usage() {
    std::cerr << "usage: wrenstall-tag add FILE DATAFILE [--strict] [--replace]\n"
                 "       wrenstall-tag show FILE\n"
                 "       wrenstall-tag remove FILE\n"
                 "--strict puts the data inside the signature, for platforms that check\n"
                 "the certificate padding strictly; --replace swaps a trailer of either layout.\n";
    return 2;
}

int Fail(const std::string& file, const std::string& message) {
    std::cerr << "wrenstall-tag: " << file << ": " << message << "\n";
    return 1;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::string temporary = path + ".wrenstall-tag.tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + temporary;
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code code;
    std::filesystem::permissions(temporary, std::filesystem::status(path, code).permissions(), code);
    std::filesystem::rename(temporary, path, code);
    if (code) {
        error = "cannot replace the file: " + code.message();
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return Usage();
    const std::string& command = args[0];
    const std::string& file = args[1];

    std::vector<uint8_t> image;
    if (!ReadFile(file, image)) return Fail(file, "cannot read the file");
    std::string error;

    if (command == "show" && args.size() == 2) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);  // the text exactly, CR LF untouched
#endif
        std::vector<uint8_t> data;
        if (!ReadInstallerDataTag(image, data, error)) return Fail(file, error);
        std::cout.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return std::cout.flush() ? 0 : 1;
    }
    if (command == "remove" && args.size() == 2) {
        if (!RemoveInstallerDataTag(image, error)) return Fail(file, error);
        return ReplaceFile(file, image, error) ? 0 : Fail(file, error);
    }
    if (command == "add" && args.size() >= 3) {
        bool replace = false;
        InstallerDataLayout layout = InstallerDataLayout::Appended;
        for (size_t i = 3; i < args.size(); ++i) {
            if (args[i] == "--replace" && !replace) {
                replace = true;
            } else if (args[i] == "--strict" && layout != InstallerDataLayout::Strict) {
                layout = InstallerDataLayout::Strict;
            } else {
                return Usage();
            }
        }
        std::vector<uint8_t> data;
        if (!ReadFile(args[2], data)) return Fail(args[2], "cannot read the data file");
        if (!AddInstallerDataTag(image, data, layout, replace, error)) return Fail(file, error);
        return ReplaceFile(file, image, error) ? 0 : Fail(file, error);
    }
    return Usage();
}
