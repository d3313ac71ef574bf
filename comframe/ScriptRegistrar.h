// A small interpreter of the registry-script subset that the module's "REGISTRY"
// resources are written in:
//
//   HKCR
//   {
//       [ForceRemove | NoRemove] name [= s 'text'] [{ ... }]
//       val name = s 'text'
//   }
//
// Tokens are separated by white space. Names are bare words or quoted; 'text' doubles a
// quote to contain one; %NAME% in names and texts is replaced from the given table ("%%"
// is a percent sign). Only the root HKCR (or HKEY_CLASSES_ROOT) and the string type s
// are accepted.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scanleaf::regscript {

enum class Marker {
    None,        // opened or created; on removal deleted only when no subkey is left
    ForceRemove, // replaced whole on registration, removed whole on unregistration
    NoRemove,    // never deleted; the keys inside it are still processed
};

struct Node {
    std::wstring name;
    Marker marker = Marker::None;
    bool isValue = false;  // a 'val' entry: a named value of the enclosing key
    bool hasValue = false; // a key's default value, or (always) a named value's data
    std::wstring value;
    std::vector<Node> children; // subkeys and named values, in script order

    bool operator==(const Node& other) const {
        return name == other.name && marker == other.marker && isValue == other.isValue &&
               hasValue == other.hasValue && value == other.value && children == other.children;
    }
};

// One root block of a script; the only root is the classes root.
struct Script {
    std::vector<Node> keys;
};

using Replacements = std::vector<std::pair<std::wstring, std::wstring>>;

struct ParseError {
    size_t offset = 0; // where in the text the fault was found
    std::wstring message;
};

// Pure: no registry access. False with `error` filled on a malformed script.
bool Parse(std::wstring_view text, const Replacements& replacements, Script& out, ParseError& error);

enum class Mode { Register, Unregister };

// Carries out the script below `classesRoot` (HKEY_CLASSES_ROOT in the module, a scratch
// key in tests). Stops at the first failing registry call and returns it as an HRESULT;
// what was written before it stays.
HRESULT Run(const Script& script, Mode mode, HKEY classesRoot);

// A script resource's bytes as text: UTF-16 with a byte-order mark, otherwise UTF-8.
std::wstring DecodeScript(const void* data, size_t size);

} // namespace scanleaf::regscript
