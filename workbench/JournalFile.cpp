#include "workbench/JournalFile.h"

#include "platform/text/Encoding.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool FileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// Writes all bytes to a new or truncated file. Returns "" on success, else the
// reason.
std::string WriteWholeFile(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::strerror(errno);
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            std::string reason = std::strerror(n < 0 ? errno : EIO);
            ::close(fd);
            return reason;
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        return std::strerror(errno);
    return "";
}

// Copies into a file created exclusively, then removes the source: the move
// between file systems, still never replacing anything.
bool CopyThenUnlink(const std::string& from, const std::string& to) {
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0)
        return false;
    ::close(out);
    try {
        std::string bytes = text::ReadFileBytes(from);
        if (!WriteWholeFile(to, bytes).empty()) {
            ::unlink(to.c_str());
            return false;
        }
    } catch (...) {
        ::unlink(to.c_str());
        return false;
    }
    return ::unlink(from.c_str()) == 0;
}

} // namespace

std::string JournalBackupName(const std::string& chosenName) {
    size_t slash = chosenName.find_last_of('/');
    std::string name = slash == std::string::npos ? chosenName : chosenName.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name + ".txt";
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EXDEV)
        return CopyThenUnlink(from, to);
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: a hard link fails when the
    // target exists, so it never replaces either.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno == EXDEV && CopyThenUnlink(from, to);
    return ::unlink(from.c_str()) == 0;
}

bool SaveJournal(UpdateForm& form, const std::string& chosenName) {
    // A failed move leaves the old file where it is; the save goes on.
    if (FileExists(chosenName))
        MoveWithoutReplacing(chosenName, JournalBackupName(chosenName));

    const std::string fileName = chosenName + ".txt";
    const std::string success = "Сохранили диагностику в файл " + fileName;
    // The file gets the journal as it will be after the success line.
    text::StringList lines = form.MemoLog.Lines();
    lines.Add(success);
    std::string reason = WriteWholeFile(fileName, text::Utf8ToCp1251(lines.Text()));
    if (!reason.empty()) {
        JournalThenLog(form, form.MemoLog, TQuorvexLogClient::Error,
                       "Ошибка сохранения диагностики в файл " + fileName + " " + reason);
        return false;
    }
    JournalThenLog(form, form.MemoLog, TQuorvexLogClient::Info, success);
    return true;
}

void ClearJournal(UpdateForm& form) {
    form.MemoLog.Clear();
    form.MemoLog.Append("Очистили журнал");
}
