// Simulated machine: the registry with the two views of 64-bit Windows, and the Windows
// Installer's answers about installed products.
#include "internal.h"

#include <msi.h>

#include <cctype>
#include <cstring>

namespace sim
{
namespace
{

struct RegistryValue {
    DWORD type;
    std::string bytes;
};
struct RegistryKey {
    bool denied = false;
    std::map<std::string, RegistryValue> values; // by lower-case name
};
// Keys by lower-case path from the root ("hklm\software\vendor"), each with all its parents. The
// 32-bit view of HKLM\SOFTWARE is stored where 64-bit Windows keeps it, under Wow6432Node, so a
// 64-bit program that names that key sees the 32-bit view too.
std::map<std::string, RegistryKey> keys = {{"hklm", {}},
                                           {"hklm\\software", {}},
                                           {"hklm\\software\\wow6432node", {}},
                                           {"hkcu", {}},
                                           {"hkcu\\software", {}}};
struct OpenKey {
    std::string path;
    REGSAM access;
};
std::map<uintptr_t, OpenKey> openKeys;
uintptr_t nextKey = 1;

struct Product {
    std::string version;
    ProductContext context;
};
std::map<std::string, Product> products; // by lower-case product code

bool IsAtOrBelow(const std::string &path, const std::string &key)
{
    return path.compare(0, key.size(), key) == 0 &&
           (path.size() == key.size() || path[key.size()] == '\\');
}

// The path of a subkey, in lower case, parts as written: a trailing backslash is no part, an
// empty part inside is a name no key has. The 32-bit view redirects HKLM\SOFTWARE.
std::string KeyPath(std::string path, const std::string &subKey, RegistryView view)
{
    std::string rest = LowerAscii(subKey);
    while (!rest.empty() && rest.back() == '\\')
        rest.pop_back();
    if (!rest.empty())
        path += "\\" + rest;
    const std::string software = "hklm\\software";
    if (view == VIEW_32 && IsAtOrBelow(path, software) &&
        !IsAtOrBelow(path, software + "\\wow6432node"))
        path.insert(software.size(), "\\wow6432node");
    return path;
}

// A key as a test names it, "HKLM\..." or "HKCU\...".
std::string TestKeyPath(RegistryView view, const std::string &key)
{
    size_t slash = key.find('\\');
    std::string root = LowerAscii(key.substr(0, slash));
    std::string rest = slash == std::string::npos ? "" : key.substr(slash + 1);
    if (root == "hkey_local_machine")
        root = "hklm";
    else if (root == "hkey_current_user")
        root = "hkcu";
    if (root != "hklm" && root != "hkcu")
        abort();
    return KeyPath(root, rest, view);
}

RegistryKey &MakeKey(const std::string &path)
{
    for (size_t slash = path.find('\\'); slash != std::string::npos;
         slash = path.find('\\', slash + 1))
        keys[path.substr(0, slash)];
    return keys[path];
}

bool Denied(const std::string &path)
{
    for (size_t end = path.find('\\'); end != std::string::npos; end = path.find('\\', end + 1)) {
        if (keys[path.substr(0, end)].denied)
            return true;
    }
    return keys[path].denied;
}

// The two roots are open for everything; only their low 32 bits count, as on 64-bit Windows.
bool KeyOf(HKEY key, OpenKey *open)
{
    uintptr_t id;
    if ((DWORD)(uintptr_t)key == (DWORD)(uintptr_t)HKEY_LOCAL_MACHINE)
        *open = {"hklm", 0xFFFFFFFF};
    else if ((DWORD)(uintptr_t)key == (DWORD)(uintptr_t)HKEY_CURRENT_USER)
        *open = {"hkcu", 0xFFFFFFFF};
    else if (LookupHandle(key, HANDLE_KEY, &id))
        *open = openKeys[id];
    else
        return false;
    return true;
}

bool IsRoot(HKEY key)
{
    return (DWORD)(uintptr_t)key == (DWORD)(uintptr_t)HKEY_LOCAL_MACHINE ||
           (DWORD)(uintptr_t)key == (DWORD)(uintptr_t)HKEY_CURRENT_USER;
}

// A product code as CLSIDFromString takes it: {8-4-4-4-12} hexadecimal digits, either case.
bool IsProductCode(const char *code)
{
    static const char form[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (code == nullptr || strlen(code) != sizeof(form) - 1)
        return false;
    for (size_t i = 0; form[i] != '\0'; i++) {
        if (form[i] == 'X' ? !isxdigit((unsigned char)code[i]) : code[i] != form[i])
            return false;
    }
    return true;
}

// The product as this user sees it: one for the machine or for this user.
const Product *VisibleProduct(const char *code)
{
    auto found = products.find(LowerAscii(code));
    if (found == products.end() || found->second.context == FOR_ANOTHER_USER)
        return nullptr;
    return &found->second;
}

} // namespace

void SetRegistryValue(RegistryView view, const std::string &key, const std::string &name,
                      DWORD type, const std::string &bytes)
{
    MakeKey(TestKeyPath(view, key)).values[LowerAscii(name)] = {type, bytes};
}

void SetRegistryText(RegistryView view, const std::string &key, const std::string &name,
                     const std::string &text)
{
    SetRegistryValue(view, key, name, REG_SZ, text + '\0');
}

void SetRegistryNumber(RegistryView view, const std::string &key, const std::string &name,
                       DWORD number)
{
    SetRegistryValue(view, key, name, REG_DWORD, std::string((const char *)&number, 4));
}

void AddRegistryKey(RegistryView view, const std::string &key)
{
    MakeKey(TestKeyPath(view, key));
}

void DenyRegistryKey(RegistryView view, const std::string &key)
{
    MakeKey(TestKeyPath(view, key)).denied = true;
}

void AddInstalledProduct(const std::string &code, const std::string &version,
                         ProductContext context)
{
    products[LowerAscii(code)] = {version, context};
}

} // namespace sim

using namespace sim;

// --- Registry ----------------------------------------------------------------------------------
// The launcher is a 64-bit program in the host build: without KEY_WOW64_32KEY it sees the 64-bit
// view.
LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    // A root with no subkey is handed back as it is, not opened again.
    if (IsRoot(key) && (subKey == nullptr || subKey[0] == '\0')) {
        *result = key;
        return ERROR_SUCCESS;
    }
    OpenKey parent;
    if (!KeyOf(key, &parent))
        return ERROR_INVALID_HANDLE;
    *result = NULL;
    if (subKey != nullptr && subKey[0] == '\\')
        return ERROR_BAD_PATHNAME;
    std::string path = KeyPath(parent.path, subKey != nullptr ? subKey : "",
                               (access & KEY_WOW64_32KEY) ? VIEW_32 : VIEW_64);
    if (keys.find(path) == keys.end())
        return ERROR_FILE_NOT_FOUND;
    if (Denied(path))
        return ERROR_ACCESS_DENIED;
    uintptr_t id = nextKey++;
    openKeys[id] = {path, access};
    *result = (HKEY)OpenHandle(HANDLE_KEY, id);
    return ERROR_SUCCESS;
}

// Data that does not fit is not copied. A string stored without its terminating zero comes back
// as stored, its size too; the zero is added only where the buffer has room for it.
LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size)
{
    if ((data != nullptr && size == nullptr) || reserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    OpenKey open;
    if (!KeyOf(key, &open))
        return ERROR_INVALID_HANDLE;
    if ((open.access & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    const std::map<std::string, RegistryValue> &values = keys[open.path].values;
    auto found = values.find(LowerAscii(name != nullptr ? name : ""));
    if (found == values.end())
        return ERROR_FILE_NOT_FOUND;
    const RegistryValue &value = found->second;
    DWORD length = (DWORD)value.bytes.size();
    LSTATUS status = ERROR_SUCCESS;
    if (data != nullptr && length > *size) {
        status = ERROR_MORE_DATA;
    } else if (data != nullptr) {
        memcpy(data, value.bytes.data(), length);
        bool text =
            value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
        if (text && length > 0 && length < *size && data[length - 1] != 0)
            data[length] = 0;
    }
    if (type != nullptr)
        *type = value.type;
    if (size != nullptr)
        *size = length;
    return status;
}

LSTATUS WINAPI RegCloseKey(HKEY key)
{
    uintptr_t id;
    if (IsRoot(key))
        return ERROR_SUCCESS;
    if (!LookupHandle(key, HANDLE_KEY, &id))
        return ERROR_INVALID_HANDLE;
    openKeys.erase(id);
    CloseSimHandle(key);
    return ERROR_SUCCESS;
}

// --- Windows Installer, reached only through the loader ---------------------------------------
// Only the length is checked before the braces; a code of the right length that is no GUID is
// simply not known, and the last error is set once the braces are there.
INSTALLSTATE WINAPI MsiQueryProductStateA(LPCSTR product)
{
    if (product == nullptr || strlen(product) != 38)
        return INSTALLSTATE_INVALIDARG;
    if (product[0] != '{' || product[37] != '}')
        return INSTALLSTATE_UNKNOWN;
    SetLastError(ERROR_SUCCESS);
    auto found = products.find(LowerAscii(product));
    if (!IsProductCode(product) || found == products.end())
        return INSTALLSTATE_UNKNOWN;
    return found->second.context == FOR_ANOTHER_USER ? INSTALLSTATE_ABSENT : INSTALLSTATE_DEFAULT;
}

// Property names are compared as written. Of the properties Windows knows, only VersionString
// is simulated. A value that does not fit is not copied; the size is the length without the
// terminating zero, and with no buffer the length is all that is asked for.
UINT WINAPI MsiGetProductInfoA(LPCSTR product, LPCSTR property, LPSTR value, LPDWORD size)
{
    if ((value != nullptr && size == nullptr) || product == nullptr || property == nullptr ||
        !IsProductCode(product))
        return ERROR_INVALID_PARAMETER;
    if (strcmp(property, "VersionString") != 0)
        return ERROR_UNKNOWN_PROPERTY;
    const Product *installed = VisibleProduct(product);
    if (installed == nullptr)
        return ERROR_UNKNOWN_PRODUCT;
    DWORD length = (DWORD)installed->version.size();
    UINT status = ERROR_SUCCESS;
    if (value != nullptr && length >= *size)
        status = ERROR_MORE_DATA;
    else if (value != nullptr)
        memcpy(value, installed->version.c_str(), length + 1);
    if (size != nullptr)
        *size = length;
    return status;
}
