// A registry tree as the module's registration writes it, and its Windows Installer form:
// one Registry-table row per value. Pure: no registry access, so tests drive it with tables.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace regrows {

struct Value {
    std::wstring name; // empty: the key's default value
    DWORD type = REG_SZ;
    std::wstring data;
};

struct Key {
    std::wstring path; // below HKEY_CLASSES_ROOT, components joined by '\'
    std::vector<Value> values;
    size_t subkeyCount = 0;
};

struct Row {
    std::wstring key;
    std::wstring name; // empty: the default value
    std::wstring value;
    // Written to the one place that 32-bit and 64-bit programs share (program identifiers,
    // type libraries) and naming no path: both architectures' packages carry the same row.
    bool shared = false;
};

// The classes-root keys that a 64-bit system keeps apart per view; the rest are shared.
bool KeptPerView(const std::wstring& keyPath);

// A path of the build machine and the installer's text for the same place on the target.
struct Substitution {
    std::wstring path;  // such as the module's path, or its folder
    std::wstring token; // such as [#ScanleafDll]
};

// Turns every value into a row. A value equal to a substitution's path (compared without
// case) becomes its token. False, with `error` naming the key and value, for what a row
// cannot carry as it stands: a type other than text, an empty key (a row always writes a
// value), text that the installer would read as a formatted reference ('[' or ']', a
// leading '#', a NUL), or a value that holds a substituted path inside other text.
bool ToRows(const std::vector<Key>& tree, const std::vector<Substitution>& substitutions, std::vector<Row>& rows,
            std::wstring& error);

// Text as XML attribute text: & < > " escaped.
void AppendXmlText(std::wstring& out, const std::wstring& text);

// The rows whose `shared` flag equals `shared`, as a WiX include: RegistryValue elements
// under HKCR in tree order, the first one marked as the key path when `firstIsKeyPath`.
std::wstring WixInclude(const std::vector<Row>& rows, bool shared, bool firstIsKeyPath);

} // namespace regrows
