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

#include "FailureText.h"
#include "InstallerDataTag.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {
const char kUsage[] =
    "usage: wrenstall-tag add FILE DATAFILE [--strict] [--replace]\n"
    "                                                      add DATAFILE's installer data to the signed FILE\n"
    "                                                      (--strict: inside the signature, for platforms that\n"
    "                                                      check the certificate padding strictly;\n"
    "                                                      --replace: replace data of either layout)\n"
    "       wrenstall-tag show FILE                       print FILE's installer data exactly as stored\n"
    "       wrenstall-tag remove FILE                     take the installer data out of FILE again\n"
    "       wrenstall-tag --help\n"
    "FILE is only replaced once the new image has been written in full beside it. Failures are printed\n"
    "on standard error with the file and the reason; the exit status is 0 on success, 1 on failure and\n"
    "2 for a wrong command line.\n";

int Usage() {
    std::cerr << kUsage;
    return 2;
}

bool IsKnownCommand(const std::string& command) { return command == "add" || command == "show" || command == "remove"; }

int Fail(const std::string& file, const std::string& message) {
    std::cerr << "wrenstall-tag: " << file << ": " << message << "\n";
    return 1;
}

// For a failed system call: what was being done, then the system's code and
// text (call right after the failure).
int FailSystem(const std::string& file, const std::string& doing) {
    return Fail(file, doing + ": " + DescribeLastSystemError());
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
            error = "cannot write " + temporary + ": " + DescribeLastSystemError();
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code code;
    std::filesystem::permissions(temporary, std::filesystem::status(path, code).permissions(), code);
    std::filesystem::rename(temporary, path, code);
    if (code) {
        error = "cannot replace the file: error " + std::to_string(code.value()) + " " + code.message();
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        std::cout << kUsage;
        return std::cout.flush() ? 0 : 1;
    }
    if (!args.empty() && !IsKnownCommand(args[0])) {
        std::cerr << "wrenstall-tag: unknown command \"" << args[0] << "\"\n";
        return Usage();
    }
    if (args.size() < 2) return Usage();
    const std::string& command = args[0];
    const std::string& file = args[1];

    std::vector<uint8_t> image;
    if (!ReadFile(file, image)) return FailSystem(file, "cannot read the file");
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
        if (!ReadFile(args[2], data)) return FailSystem(args[2], "cannot read the data file");
        if (!AddInstallerDataTag(image, data, layout, replace, error)) return Fail(file, error);
        return ReplaceFile(file, image, error) ? 0 : Fail(file, error);
    }
    return Usage();
}
