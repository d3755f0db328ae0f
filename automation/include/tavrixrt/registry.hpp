// The registry: a tree of keys with text values, kept in one plain text file. Key paths use "\"
// between their parts and compare without regard to ASCII case, as the platform's registry does.
//
// Two files, as a machine-wide class registration sits under a user's own: the user's file
// ($TAVRIX_REGISTRY when set, else $XDG_CONFIG_HOME/tavrix/registry, else
// $HOME/.config/tavrix/registry) is read first, then the system's ($TAVRIX_SYSTEM_REGISTRY when
// set, else SYSCONFDIR/tavrix/registry, /etc/tavrix/registry for an installation under /usr). A
// key or value the user's file has hides the system's. Readers never see a half-written file:
// every change writes a new file beside it and renames it into place, under an exclusive lock on
// "<file>.lock".
//
// File format (UTF-8):
//     # comment
//     [CLSID\{989C7933-275B-411B-BC82-F3FB85B5ED4C}\InprocServer32]
//     @="/usr/lib/libtavrix.so"
//     "ThreadingModel"="Apartment"
// A section header names one key (every key, even one without values, has its own section); "@"
// is the key's default value. Inside quotes, \\ \" \n \r \t and \xHH are the escapes.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavrixrt/types.hpp"

namespace tavrixrt {

inline constexpr const char* kRegistryEnvironmentVariable = "TAVRIX_REGISTRY";
inline constexpr const char* kSystemRegistryEnvironmentVariable = "TAVRIX_SYSTEM_REGISTRY";

// The user's registry file (see above); empty when neither variable nor home folder is known.
TAVRIXRT_EXPORT std::string registryPath();
// The system's registry file.
TAVRIXRT_EXPORT std::string systemRegistryPath();
// The file that registration writes: the user's, or the system's while a thread registers with
// RegisterServerLibraryFor(..., REGISTRY_SYSTEM).
TAVRIXRT_EXPORT std::string registrationPath();
// Makes this thread's registration write the system's file (true) or the user's (false).
TAVRIXRT_EXPORT void setSystemRegistration(bool on);

class TAVRIXRT_EXPORT RegistryTree {
  public:
    // A key path is one or more non-empty parts separated by "\", without control characters.
    static bool isValidKeyPath(std::string_view path);

    bool hasKey(std::string_view path) const;
    // `name` empty: the default value. nullopt when the key or the value does not exist.
    std::optional<std::string> value(std::string_view path, std::string_view name = {}) const;
    // Direct subkeys' names, in file order.
    std::vector<std::string> subkeys(std::string_view path) const;
    size_t keyCount() const { return keys_.size(); }

    // Creates the key and every missing ancestor. E_INVALIDARG for a malformed path.
    HRESULT createKey(std::string_view path);
    HRESULT setValue(std::string_view path, std::string_view name, std::string_view value);
    // Removes the key with all its subkeys; S_FALSE when it did not exist.
    HRESULT deleteTree(std::string_view path);

    std::string serialize() const;
    // Every key and value of `other` into this tree, replacing values of the same name.
    void overlay(const RegistryTree& other);
    // On a syntax error: REGDB_E_READREGDB, with the line named in `error`.
    static HRESULT parse(std::string_view text, RegistryTree& out, std::string* error = nullptr);

  private:
    struct Key {
        std::string path; // as first written
        // Values by folded name: (name as written, value).
        std::map<std::string, std::pair<std::string, std::string>> values;
    };
    // Folded paths, ordered part by part so that a key precedes its subkeys.
    struct PathOrder {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    std::map<std::string, Key, PathOrder> keys_;
};

// Reads the registry: the system's file with the user's laid over it. Missing files are empty
// (S_FALSE when both are); an unreadable or damaged one gives REGDB_E_READREGDB and a
// description in `error`.
TAVRIXRT_EXPORT HRESULT readRegistry(RegistryTree& tree, std::string* error = nullptr);
TAVRIXRT_EXPORT HRESULT readRegistryFile(const std::string& path, RegistryTree& tree,
                                         std::string* error = nullptr);

// Locks the registration file (registrationPath()), reads it, lets `edit` change the tree and,
// when `edit` succeeds,
// writes the file back atomically (creating its folder when needed). A damaged file is never
// overwritten. Failures: REGDB_E_READREGDB, REGDB_E_WRITEREGDB, or what `edit` returns.
TAVRIXRT_EXPORT HRESULT editRegistry(const std::function<HRESULT(RegistryTree&)>& edit,
                                     std::string* error = nullptr);
TAVRIXRT_EXPORT HRESULT editRegistryFile(const std::string& path,
                                         const std::function<HRESULT(RegistryTree&)>& edit,
                                         std::string* error = nullptr);

} // namespace tavrixrt
