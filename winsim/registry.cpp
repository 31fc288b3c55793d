// Simulated machine: the registry with the two views of 64-bit Windows, and the Windows
// Installer's answers about installed products and the Property table of a package.
#include "internal.h"

#include <msi.h>
#include <msiquery.h>

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

typedef std::vector<std::pair<std::string, std::string>> PropertyRows;
std::map<std::string, PropertyRows> packages; // by lower-case full path
// A database, a view on its Property table or a fetched record, by handle.
enum MsiKind { MSI_DATABASE, MSI_VIEW, MSI_RECORD };
struct MsiObject {
    MsiKind kind;
    PropertyRows rows;               // a database's, a view's
    std::vector<int> columns;        // a view's: 0 Property, 1 Value
    bool executed = false;           // a view's
    size_t next = 0;                 // a view's: the row the next fetch gives
    std::vector<std::string> fields; // a record's, from field 1
};
std::map<uintptr_t, MsiObject> msiObjects;
uintptr_t nextMsiObject = 1;

MsiObject *FindMsiObject(MSIHANDLE handle, MsiKind kind)
{
    uintptr_t id;
    if (!LookupHandle((HANDLE)(uintptr_t)handle, HANDLE_MSI, &id) || msiObjects[id].kind != kind)
        return nullptr;
    return &msiObjects[id];
}

MSIHANDLE OpenMsiObject(const MsiObject &object)
{
    uintptr_t id = nextMsiObject++;
    msiObjects[id] = object;
    return (MSIHANDLE)(uintptr_t)OpenHandle(HANDLE_MSI, id);
}

// The words of a query, each "`name`" as its name; keywords in any case.
std::vector<std::string> QueryWords(const std::string &query)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : query + " ") {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else if (c != '`') {
            word += c;
        }
    }
    return words;
}

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

void DenyRegistryKey(RegistryView view, const std::string &key)
{
    MakeKey(TestKeyPath(view, key)).denied = true;
}

void AddInstalledProduct(const std::string &code, const std::string &version,
                         ProductContext context)
{
    products[LowerAscii(code)] = {version, context};
}

void SetMsiProperties(const std::string &windowsPath, const PropertyRows &rows)
{
    std::string full;
    if (!ResolvePath(windowsPath, &full) || !FileExistsAt(full))
        abort();
    packages[LowerAscii(full)] = rows;
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

// --- Windows Installer databases ---------------------------------------------------------------
// Only a read-only open is simulated. A missing file and one that is no database both fail with
// ERROR_OPEN_FAILED.
UINT WINAPI MsiOpenDatabaseA(LPCSTR path, LPCSTR persist, MSIHANDLE *database)
{
    if (persist != MSIDBOPEN_READONLY)
        abort();
    if (path == nullptr || database == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string full;
    if (!ResolvePath(path, &full) || !FileExistsAt(full))
        return ERROR_OPEN_FAILED;
    auto found = packages.find(LowerAscii(full));
    if (found == packages.end())
        return ERROR_OPEN_FAILED;
    MsiObject object{MSI_DATABASE, found->second, {}, false, 0, {}};
    *database = OpenMsiObject(object);
    return ERROR_SUCCESS;
}

// "SELECT columns FROM Property", the columns Property and Value (or *); table and column names
// are compared as written, as Windows does. Any other query is not simulated and is refused.
UINT WINAPI MsiDatabaseOpenViewA(MSIHANDLE database, LPCSTR query, MSIHANDLE *view)
{
    MsiObject *owner = FindMsiObject(database, MSI_DATABASE);
    if (owner == nullptr)
        return ERROR_INVALID_HANDLE;
    if (query == nullptr || view == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string> words = QueryWords(query);
    size_t count = words.size();
    if (count < 4 || LowerAscii(words[0]) != "select" || LowerAscii(words[count - 2]) != "from" ||
        words[count - 1] != "Property")
        return ERROR_BAD_QUERY_SYNTAX;
    MsiObject object{MSI_VIEW, owner->rows, {}, false, 0, {}};
    for (size_t i = 1; i < count - 2; i++) {
        if (words[i] == "*")
            object.columns.insert(object.columns.end(), {0, 1});
        else if (words[i] == "Property" || words[i] == "Value")
            object.columns.push_back(words[i] == "Value" ? 1 : 0);
        else
            return ERROR_BAD_QUERY_SYNTAX;
    }
    *view = OpenMsiObject(object);
    return ERROR_SUCCESS;
}

UINT WINAPI MsiViewExecute(MSIHANDLE view, MSIHANDLE)
{
    MsiObject *object = FindMsiObject(view, MSI_VIEW);
    if (object == nullptr)
        return ERROR_INVALID_HANDLE;
    object->executed = true;
    object->next = 0;
    return ERROR_SUCCESS;
}

// A view not executed fails; past the last row there are no more items.
UINT WINAPI MsiViewFetch(MSIHANDLE view, MSIHANDLE *record)
{
    MsiObject *object = FindMsiObject(view, MSI_VIEW);
    if (object == nullptr)
        return ERROR_INVALID_HANDLE;
    if (record == nullptr)
        return ERROR_INVALID_PARAMETER;
    *record = 0;
    if (!object->executed)
        return ERROR_FUNCTION_FAILED;
    if (object->next >= object->rows.size())
        return ERROR_NO_MORE_ITEMS;
    const std::pair<std::string, std::string> &row = object->rows[object->next++];
    MsiObject made{MSI_RECORD, {}, {}, false, 0, {}};
    for (int column : object->columns)
        made.fields.push_back(column == 0 ? row.first : row.second);
    *record = OpenMsiObject(made);
    return ERROR_SUCCESS;
}

// As Windows: the size is in characters without the terminating zero. A value that does not fit
// is copied cut short, with its zero, and gives ERROR_MORE_DATA and the full length; a field past
// the record's last is empty.
UINT WINAPI MsiRecordGetStringA(MSIHANDLE record, UINT field, LPSTR value, LPDWORD size)
{
    MsiObject *object = FindMsiObject(record, MSI_RECORD);
    if (object == nullptr)
        return ERROR_INVALID_HANDLE;
    if (size == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string text =
        field >= 1 && field <= object->fields.size() ? object->fields[field - 1] : "";
    DWORD length = (DWORD)text.size();
    UINT status = ERROR_SUCCESS;
    if (value != nullptr && *size > 0) {
        DWORD copied = length < *size ? length : *size - 1;
        memcpy(value, text.data(), copied);
        value[copied] = '\0';
    }
    if (value != nullptr && *size <= length)
        status = ERROR_MORE_DATA;
    *size = length;
    return status;
}

// Closing no handle (0) succeeds.
UINT WINAPI MsiCloseHandle(MSIHANDLE handle)
{
    uintptr_t id;
    if (handle == 0)
        return ERROR_SUCCESS;
    if (!LookupHandle((HANDLE)(uintptr_t)handle, HANDLE_MSI, &id))
        return ERROR_INVALID_HANDLE;
    msiObjects.erase(id);
    CloseSimHandle((HANDLE)(uintptr_t)handle);
    return ERROR_SUCCESS;
}
