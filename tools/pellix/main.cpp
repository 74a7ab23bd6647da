// pellix: stores one file in a zip archive, replacing the archive if it exists.
//
//   pellix [-Q] -C "<zip>" "<file>"
//
// The file is stored under its base name (compressed). -Q keeps the program quiet on success;
// errors are always reported on stderr. Exit code 0 on success, 1 on a usage error, 2 when the
// archive could not be written. On failure an existing archive is left as it was: libzip writes
// the new archive beside it and moves it into place only when it is complete.
#include <sys/stat.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitFailed = 2;

void Usage() { std::fprintf(stderr, "usage: pellix [-Q] -C <zip> <file>\n"); }

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes `zipPath` holding only `filePath`. Returns an empty text on success, else the reason.
std::string CreateArchive(const std::string& zipPath, const std::string& filePath) {
    struct stat info {};
    if (stat(filePath.c_str(), &info) != 0) return filePath + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return filePath + ": not a regular file";
    const std::string entry = BaseName(filePath);
    if (entry.empty()) return filePath + ": no file name";

    int error = 0;
    zip_t* archive = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, error);
        std::string reason = zipPath + ": " + zip_error_strerror(&zipError);
        zip_error_fini(&zipError);
        return reason;
    }
    zip_source_t* source = zip_source_file(archive, filePath.c_str(), 0, -1);
    if (source == nullptr) {
        std::string reason = filePath + ": " + zip_strerror(archive);
        zip_discard(archive);
        return reason;
    }
    if (zip_file_add(archive, entry.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        std::string reason = zipPath + ": " + zip_strerror(archive);
        zip_source_free(source);
        zip_discard(archive);
        return reason;
    }
    if (zip_close(archive) != 0) {
        std::string reason = zipPath + ": " + zip_strerror(archive);
        zip_discard(archive);
        return reason;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    bool quiet = false;
    bool create = false;
    std::string zipPath;
    std::string filePath;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-Q") == 0 || std::strcmp(arg, "-q") == 0) {
            quiet = true;
        } else if (std::strcmp(arg, "-C") == 0 || std::strcmp(arg, "-c") == 0) {
            create = true;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "pellix: unknown option %s\n", arg);
            Usage();
            return kExitUsage;
        } else if (positional == 0) {
            zipPath = arg;
            ++positional;
        } else if (positional == 1) {
            filePath = arg;
            ++positional;
        } else {
            std::fprintf(stderr, "pellix: too many arguments\n");
            Usage();
            return kExitUsage;
        }
    }
    if (!create || positional != 2 || zipPath.empty() || filePath.empty()) {
        Usage();
        return kExitUsage;
    }

    const std::string reason = CreateArchive(zipPath, filePath);
    if (!reason.empty()) {
        std::fprintf(stderr, "pellix: %s\n", reason.c_str());
        return kExitFailed;
    }
    if (!quiet) std::printf("pellix: %s -> %s\n", filePath.c_str(), zipPath.c_str());
    return 0;
}
