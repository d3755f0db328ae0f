// The registry file: parsing, writing, and the locked read-modify-write cycle around it.
#include "tavrixrt/registry.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrixrt {
namespace {

// A registry holds a few hundred entries; anything far larger is not a registry file.
constexpr off_t kMaxFileSize = 64 << 20;

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string folded(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = fold(c);
    return out;
}

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (isControl(c)) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = fold(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a quoted string starting at s[pos] (the opening quote); pos ends after the closing one.
bool unquote(std::string_view s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= s.size()) return false;
        switch (s[pos]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            if (pos + 2 >= s.size()) return false;
            const int hi = hexDigit(s[pos + 1]);
            const int lo = hexDigit(s[pos + 2]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            pos += 2;
            break;
        }
        default:
            return false;
        }
    }
    return false;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string errnoText(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// mkdir -p for the folder that holds `file`.
bool makeParentFolders(const std::string& file) {
    const auto slash = file.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return true;
    const std::string folder = file.substr(0, slash);
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (end == std::string::npos) break;
    }
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

HRESULT writeAtomically(const std::string& path, const std::string& text, std::string* error) {
    if (!makeParentFolders(path)) {
        if (error) *error = errnoText("cannot create the folder of", path);
        return REGDB_E_WRITEREGDB;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (error) *error = errnoText("cannot create a file beside", path);
        return REGDB_E_WRITEREGDB;
    }
    const bool ok = writeAll(fd, text) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        if (ok) errno = savedErrno;
        if (error) *error = errnoText("cannot write", path);
        ::unlink(temp.c_str());
        return REGDB_E_WRITEREGDB;
    }
    return S_OK;
}

} // namespace

std::string registryPath() {
    if (const char* p = std::getenv(kRegistryEnvironmentVariable); p && *p) return p;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/tavrix/registry";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/tavrix/registry";
    return {};
}

namespace {

// The prefix this runtime is installed under, found from where the library itself lies
// (PREFIX/LIBDIR/libtavrixrt.so), so that an installation moved elsewhere or unpacked into
// another root keeps its own system registry; empty when it runs from a build folder.
std::string installPrefix() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&systemRegistryPath), &info) || !info.dli_fname)
        return {};
    char* real = ::realpath(info.dli_fname, nullptr);
    if (!real) return {};
    std::string folder(real);
    std::free(real);
    folder.resize(folder.find_last_of('/'));
    const std::string libdir = "/" TAVRIXRT_LIBDIR;
    if (folder.size() <= libdir.size() ||
        folder.compare(folder.size() - libdir.size(), libdir.size(), libdir) != 0)
        return {};
    return folder.substr(0, folder.size() - libdir.size());
}

} // namespace

std::string systemRegistryPath() {
    if (const char* p = std::getenv(kSystemRegistryEnvironmentVariable); p && *p) return p;
    const std::string prefix = installPrefix();
    // Under /usr the machine's configuration lives in /etc, elsewhere in PREFIX/etc.
    if (prefix == "/usr") return "/etc/tavrix/registry";
    if (!prefix.empty()) return prefix + "/etc/tavrix/registry";
    return TAVRIXRT_SYSCONFDIR "/tavrix/registry";
}

namespace {
// Set while a thread registers a library machine-wide.
thread_local bool tRegisterSystemWide = false;
} // namespace

std::string registrationPath() {
    return tRegisterSystemWide ? systemRegistryPath() : registryPath();
}

void setSystemRegistration(bool on) {
    tRegisterSystemWide = on;
}

bool RegistryTree::PathOrder::operator()(const std::string& a, const std::string& b) const {
    // "\" sorts before every other character, so a key's subkeys follow it directly.
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        if (a[i] == '\\') return true;
        if (b[i] == '\\') return false;
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
}

bool RegistryTree::isValidKeyPath(std::string_view path) {
    if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
    for (size_t i = 0; i < path.size(); ++i) {
        if (isControl(static_cast<unsigned char>(path[i]))) return false;
        if (path[i] == '\\' && i + 1 < path.size() && path[i + 1] == '\\') return false;
    }
    return true;
}

bool RegistryTree::hasKey(std::string_view path) const {
    return keys_.find(folded(path)) != keys_.end();
}

std::optional<std::string> RegistryTree::value(std::string_view path, std::string_view name) const {
    const auto key = keys_.find(folded(path));
    if (key == keys_.end()) return std::nullopt;
    const auto v = key->second.values.find(folded(name));
    if (v == key->second.values.end()) return std::nullopt;
    return v->second.second;
}

std::vector<std::string> RegistryTree::subkeys(std::string_view path) const {
    std::vector<std::string> out;
    const std::string prefix = folded(path) + '\\';
    for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) == std::string::npos)
            out.push_back(it->second.path.substr(prefix.size()));
    }
    return out;
}

HRESULT RegistryTree::createKey(std::string_view path) {
    if (!isValidKeyPath(path)) return E_INVALIDARG;
    size_t end = 0;
    do {
        end = path.find('\\', end + 1);
        const std::string_view part = path.substr(0, end);
        const std::string key = folded(part);
        if (keys_.find(key) == keys_.end()) keys_.emplace(key, Key{std::string(part), {}});
    } while (end != std::string_view::npos);
    return S_OK;
}

HRESULT RegistryTree::setValue(std::string_view path, std::string_view name,
                               std::string_view value) {
    const HRESULT hr = createKey(path);
    if (FAILED(hr)) return hr;
    Key& key = keys_.find(folded(path))->second;
    auto& slot = key.values[folded(name)];
    if (slot.first.empty()) slot.first = std::string(name);
    slot.second = std::string(value);
    return S_OK;
}

HRESULT RegistryTree::deleteTree(std::string_view path) {
    if (!isValidKeyPath(path)) return E_INVALIDARG;
    const std::string key = folded(path);
    auto it = keys_.find(key);
    if (it == keys_.end()) return S_FALSE;
    while (it != keys_.end() && (it->first == key || (it->first.size() > key.size() &&
                                                      it->first.compare(0, key.size(), key) == 0 &&
                                                      it->first[key.size()] == '\\')))
        it = keys_.erase(it);
    return S_OK;
}

void RegistryTree::overlay(const RegistryTree& other) {
    for (const auto& [foldedPath, key] : other.keys_) {
        createKey(key.path);
        Key& mine = keys_.find(foldedPath)->second;
        for (const auto& [foldedName, value] : key.values)
            mine.values[foldedName] = value;
    }
}

std::string RegistryTree::serialize() const {
    std::string out = "# Automation registry: classes and libraries known to the runtime.\n"
                      "# Written by the runtime; keep the format when editing by hand.\n";
    for (const auto& entry : keys_) {
        const Key& key = entry.second;
        out += "\n[" + key.path + "]\n";
        for (const auto& [foldedName, entry] : key.values) {
            out += foldedName.empty() ? std::string("@") : quoted(entry.first);
            out += '=';
            out += quoted(entry.second);
            out += '\n';
        }
    }
    return out;
}

HRESULT RegistryTree::parse(std::string_view text, RegistryTree& out, std::string* error) {
    RegistryTree tree;
    std::string current; // key of the section being read
    size_t lineNumber = 0;
    auto fail = [&](const char* what) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + what;
        return REGDB_E_READREGDB;
    };
    while (!text.empty()) {
        ++lineNumber;
        const size_t newline = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return fail("section header without \"]\"");
            current = std::string(line.substr(1, line.size() - 2));
            if (FAILED(tree.createKey(current))) return fail("malformed key path");
            continue;
        }
        if (current.empty()) return fail("value outside a section");
        std::string name;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!unquote(line, pos, name)) {
            return fail("malformed value name");
        } else if (name.empty()) {
            return fail("empty value name (the default value is written @)");
        }
        if (pos >= line.size() || line[pos] != '=') return fail("\"=\" expected");
        ++pos;
        std::string value;
        if (!unquote(line, pos, value)) return fail("malformed quoted value");
        if (pos != line.size()) return fail("text after the value");
        tree.setValue(current, name, value);
    }
    out = std::move(tree);
    return S_OK;
}

HRESULT readRegistryFile(const std::string& path, RegistryTree& tree, std::string* error) {
    tree = RegistryTree();
    if (path.empty()) {
        if (error) *error = "no registry file: neither TAVRIX_REGISTRY nor HOME is set";
        return REGDB_E_READREGDB;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return S_FALSE;
        if (error) *error = errnoText("cannot open", path);
        return REGDB_E_READREGDB;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        ::close(fd);
        if (error) *error = path + " is not a registry file";
        return REGDB_E_READREGDB;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || text.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxFileSize)) {
            ::close(fd);
            if (error) *error = errnoText("cannot read", path);
            return REGDB_E_READREGDB;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    std::string detail;
    const HRESULT hr = RegistryTree::parse(text, tree, &detail);
    if (FAILED(hr) && error) *error = path + ", " + detail;
    return hr;
}

HRESULT readRegistry(RegistryTree& tree, std::string* error) {
    const HRESULT system = readRegistryFile(systemRegistryPath(), tree, error);
    if (FAILED(system)) return system;
    RegistryTree user;
    const HRESULT hr = readRegistryFile(registryPath(), user, error);
    if (FAILED(hr)) return hr;
    tree.overlay(user);
    return system == S_FALSE && hr == S_FALSE ? S_FALSE : S_OK;
}

HRESULT editRegistryFile(const std::string& path, const std::function<HRESULT(RegistryTree&)>& edit,
                         std::string* error) {
    if (path.empty()) {
        if (error) *error = "no registry file: neither TAVRIX_REGISTRY nor HOME is set";
        return REGDB_E_WRITEREGDB;
    }
    if (!makeParentFolders(path)) {
        if (error) *error = errnoText("cannot create the folder of", path);
        return REGDB_E_WRITEREGDB;
    }
    // The lock lives in its own file: the registry file itself is replaced by each write.
    const std::string lockPath = path + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        if (error) *error = errnoText("cannot open", lockPath);
        return REGDB_E_WRITEREGDB;
    }
    int locked;
    do {
        locked = ::flock(lockFd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    HRESULT hr = REGDB_E_WRITEREGDB;
    if (locked != 0) {
        if (error) *error = errnoText("cannot lock", lockPath);
    } else {
        RegistryTree tree;
        hr = readRegistryFile(path, tree, error);
        if (SUCCEEDED(hr)) {
            try {
                hr = edit(tree);
                if (SUCCEEDED(hr)) {
                    const HRESULT written = writeAtomically(path, tree.serialize(), error);
                    if (FAILED(written)) hr = written;
                }
            } catch (const std::bad_alloc&) {
                hr = E_OUTOFMEMORY;
            }
        }
    }
    ::close(lockFd); // releases the lock
    return hr;
}

HRESULT editRegistry(const std::function<HRESULT(RegistryTree&)>& edit, std::string* error) {
    return editRegistryFile(registrationPath(), edit, error);
}

} // namespace tavrixrt
