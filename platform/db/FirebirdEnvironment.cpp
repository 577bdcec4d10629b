#include "platform/db/FirebirdEnvironment.h"

#include "platform/text/Exception.h"

#include <firebird/Interface.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace db {
namespace {

// Bumped whenever the folder's contents change, so an old folder is not reused.
constexpr const char* kLayoutVersion = "2";

const char* const kConfText = "# Written by UpdateDb for its embedded Firebird engine.\n"
                              "# SuperClassic lets several processes open one database file.\n"
                              "ServerMode = SuperClassic\n"
                              "# Each attachment has its own page cache in this mode, and its\n"
                              "# default (256 pages) is far too small for a whole-base save.\n"
                              "DefaultDbCachePages = 8192\n";

bool IsRoot(const fs::path& dir) {
    std::error_code ec;
    return fs::is_directory(dir / "plugins", ec) && fs::exists(dir / "firebird.msg", ec) &&
           fs::is_directory(dir / "intl", ec);
}

// <dir>/firebird/<version> folders, highest version first.
fs::path RootBelow(const fs::path& libDir) {
    std::error_code ec;
    fs::path best;
    for (const auto& entry : fs::directory_iterator(libDir / "firebird", ec))
        if (IsRoot(entry.path()) && (best.empty() || entry.path().filename() > best.filename()))
            best = entry.path();
    return best;
}

[[noreturn]] void Fail(const std::string& what, const fs::path& path, const std::string& why) {
    throw EDatabaseError("Не удалось подготовить конфигурацию Firebird: " + what + " \"" +
                         path.string() + "\": " + why);
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
    if (!out.flush())
        Fail("запись файла", path, std::strerror(errno));
}

// Fills a fresh folder with the configuration for `root`.
void Populate(const fs::path& dir, const fs::path& root) {
    WriteFile(dir / "firebird.conf", kConfText);
    for (const char* name : {"plugins", "firebird.msg", "plugins.conf"}) {
        std::error_code ec;
        if (!fs::exists(root / name, ec))
            continue;
        fs::create_symlink(root / name, dir / name, ec);
        if (ec)
            Fail("создание ссылки", dir / name, ec.message());
    }
    std::error_code ec;
    fs::create_directory(dir / "intl", ec);
    for (const auto& entry : fs::directory_iterator(root / "intl", ec)) {
        fs::copy_file(entry.path(), dir / "intl" / entry.path().filename(),
                      fs::copy_options::overwrite_existing, ec);
        if (ec)
            Fail("копирование", entry.path(), ec.message());
    }
    WriteFile(dir / "root", root.string() + "\n");
}

// Whether an existing folder is complete, ours, and made for this root.
bool Usable(const fs::path& dir, const fs::path& root) {
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return false;
    std::ifstream in(dir / "root");
    std::string recorded;
    std::getline(in, recorded);
    std::error_code ec;
    return recorded == root.string() && fs::exists(dir / "firebird.conf", ec) &&
           fs::is_directory(dir / "plugins", ec) && fs::exists(dir / "intl" / "fbintl.conf", ec);
}

std::string UniqueSuffix() {
    std::random_device device;
    return std::to_string(getpid()) + "." + std::to_string(device());
}

// Builds the folder under a temporary name and renames it into place. A folder
// that another process put there first is kept when usable; an unusable one of
// ours is moved aside and replaced.
void MakeFolder(const fs::path& dir, const fs::path& root) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Usable(dir, root))
            return;
        struct stat info {};
        if (lstat(dir.c_str(), &info) == 0 && info.st_uid != getuid())
            Fail("папка принадлежит другому пользователю", dir, "");
        fs::path temp = dir.string() + ".tmp." + UniqueSuffix();
        std::error_code ec;
        if (!fs::create_directory(temp, ec))
            Fail("создание папки", temp, ec.message());
        Populate(temp, root);
        if (rename(temp.c_str(), dir.c_str()) == 0)
            return;
        fs::remove_all(temp, ec);
        if (lstat(dir.c_str(), &info) == 0 && !Usable(dir, root)) {
            fs::path aside = dir.string() + ".old." + UniqueSuffix();
            if (rename(dir.c_str(), aside.c_str()) == 0)
                fs::remove_all(aside, ec);
        }
    }
    if (!Usable(dir, root))
        Fail("папка непригодна", dir, "не удалось создать её содержимое");
}

// The lock folder must exist and be ours to write; the engine makes only the
// last level itself.
void PrepareLockFolder() {
    const char* configured = std::getenv("FIREBIRD_LOCK");
    fs::path lock = configured && *configured ? fs::path(configured) : fs::path("/tmp/firebird");
    std::error_code ec;
    fs::create_directories(lock, ec);
    if (access(lock.c_str(), R_OK | W_OK | X_OK) == 0)
        return;
    if (configured && *configured)
        Fail("нет доступа к папке блокировок", lock, std::strerror(errno));
    // The shared default belongs to someone else (a server's user): every
    // process of this user falls back to the same folder of its own.
    fs::path own = "/tmp/firebird-" + std::to_string(getuid());
    fs::create_directories(own, ec);
    if (access(own.c_str(), R_OK | W_OK | X_OK) != 0)
        Fail("нет доступа к папке блокировок", own, std::strerror(errno));
    setenv("FIREBIRD_LOCK", own.c_str(), 1);
}

void Prepare() {
    PrepareLockFolder();
    const char* firebird = std::getenv("FIREBIRD");
    if (firebird && *firebird)
        return;
    std::string root = FindSystemFirebirdRoot();
    if (root.empty())
        throw EDatabaseError("Не найдены файлы Firebird (plugins, firebird.msg, intl); "
                             "укажите их папку в переменной окружения FIREBIRD");
    fs::path dir = FirebirdConfigFolder();
    MakeFolder(dir, root);
    setenv("FIREBIRD", dir.c_str(), 1);
}

} // namespace

std::string FindSystemFirebirdRoot() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Firebird::fb_get_master_interface), &info) &&
        info.dli_fname) {
        std::error_code ec;
        fs::path lib = fs::canonical(info.dli_fname, ec);
        if (!ec) {
            fs::path below = RootBelow(lib.parent_path());
            if (!below.empty())
                return below.string();
        }
    }
    for (const char* dir :
         {"/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu", "/usr/lib64", "/usr/lib"}) {
        fs::path below = RootBelow(dir);
        if (!below.empty())
            return below.string();
    }
    if (IsRoot("/opt/firebird"))
        return "/opt/firebird";
    return "";
}

std::string FirebirdConfigFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime && *runtime && fs::is_directory(runtime, ec))
        return (fs::path(runtime) / ("updatedb-firebird-" + std::string(kLayoutVersion))).string();
    return "/tmp/updatedb-firebird-" + std::to_string(getuid()) + "-" + kLayoutVersion;
}

void PrepareFirebirdEnvironment() {
    static std::once_flag once;
    std::call_once(once, Prepare);
}

} // namespace db
