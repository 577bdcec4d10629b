#include "platform/text/StringList.h"

#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace text {

void StringList::Insert(int index, std::string line) {
    if (index < 0 || index > Count())
        throw Exception("Индекс строки вне диапазона (" + std::to_string(index) + ")");
    m_lines.insert(m_lines.begin() + index, std::move(line));
}

void StringList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw Exception("Индекс строки вне диапазона (" + std::to_string(index) + ")");
    m_lines.erase(m_lines.begin() + index);
}

std::string StringList::Text() const {
    size_t size = 0;
    for (const std::string& line : m_lines)
        size += line.size() + 2;
    std::string out;
    out.reserve(size);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (i > 0)
            out += "\r\n";
        out += m_lines[i];
    }
    return out;
}

void StringList::SetText(std::string_view text) {
    m_lines.clear();
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* start = begin;
    while (start < end) {
        const char* stop = start;
        while (stop < end && *stop != '\r' && *stop != '\n')
            ++stop;
        m_lines.emplace_back(start, static_cast<size_t>(stop - start));
        if (stop == end)
            break;
        start = stop + 1;
        if (*stop == '\r' && start < end && *start == '\n')
            ++start;
    }
}

void StringList::LoadFromFile(const std::string& path) {
    std::string bytes = ReadFileBytes(path);
    SetText(Cp1251ToUtf8(bytes));
}

std::string LoadTextFromFile(const std::string& path) {
    // A regular file is decoded straight from its pages, mapped in one go;
    // anything else, and every failure, goes through ReadFileBytes and its
    // messages.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct stat info {};
        void* map = MAP_FAILED;
        size_t size = 0;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            size = static_cast<size_t>(info.st_size);
            map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        }
        ::close(fd);
        if (map != MAP_FAILED) {
            std::string text =
                Cp1251ToUtf8Lines(std::string_view(static_cast<const char*>(map), size));
            munmap(map, size);
            return text;
        }
    }
    return Cp1251ToUtf8Lines(ReadFileBytes(path));
}

void StringList::SaveToFile(const std::string& path) const {
    std::string body;
    for (const std::string& line : m_lines) {
        body += line;
        body += "\r\n";
    }
    WriteFileBytes(path, Utf8ToCp1251(body));
}

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void FileError(const char* what, const std::string& path, int err) {
    throw Exception(std::string(what) + " \"" + path + "\": " + std::strerror(err));
}
} // namespace

std::string ReadFileBytes(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f)
        FileError("Не удается открыть файл", path, errno);
    std::string bytes;
    // A regular file is read into one allocation of its size.
    struct stat info {};
    if (fstat(fileno(f.get()), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0)
        bytes.append(buffer, n);
    if (std::ferror(f.get()))
        FileError("Ошибка чтения файла", path, errno ? errno : EIO);
    return bytes;
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f)
        FileError("Не удается создать файл", path, errno);
    if (std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        FileError("Ошибка записи в файл", path, errno ? errno : EIO);
    std::FILE* raw = f.release();
    if (std::fclose(raw) != 0)
        FileError("Ошибка записи в файл", path, errno ? errno : EIO);
}

} // namespace text
