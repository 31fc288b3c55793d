// Whether a text is one well-formed JSON document (RFC 8259), strictly: objects, arrays, strings
// with their escapes, numbers, true, false and null; white space around the document, nothing else.
#pragma once

#include <cctype>
#include <cstring>
#include <string>

struct JsonReader {
    const char *c, *end;

    bool Take(char wanted)
    {
        return c < end && *c == wanted && ++c;
    }
    bool Any(const char *set) // takes one character of the set
    {
        return c < end && *c != '\0' && strchr(set, *c) != nullptr && ++c;
    }
    bool Digits()
    {
        const char *start = c;
        while (Any("0123456789"))
            ;
        return c > start;
    }
    bool Number()
    {
        Take('-');
        return (Take('0') || Digits()) && (!Take('.') || Digits()) &&
               (!Any("eE") || (Any("+-"), Digits()));
    }
    bool String()
    {
        if (!Take('"'))
            return false;
        while (c < end && *c != '"') {
            if ((unsigned char)*c < 0x20)
                return false;
            if (*c++ != '\\')
                continue;
            if (Take('u')) {
                for (int i = 0; i < 4; i++) {
                    if (c == end || !isxdigit((unsigned char)*c++))
                        return false;
                }
            } else if (!Any("\"\\/bfnrt")) {
                return false;
            }
        }
        return Take('"');
    }
    void Blanks()
    {
        while (Any(" \t\r\n"))
            ;
    }
    // An object's "name": value members or an array's values, separated by commas, up to close.
    bool Members(bool named, char close)
    {
        c++;
        Blanks();
        if (Take(close))
            return true;
        do {
            if (!Value(named) || (named && !(Take(':') && Value(false))))
                return false;
        } while (Take(','));
        return Take(close);
    }
    // Any value, with the white space around it; named, a member's name.
    bool Value(bool named)
    {
        Blanks();
        bool taken = c < end && (*c == '"'   ? String()
                                 : named     ? false
                                 : *c == '{' ? Members(true, '}')
                                 : *c == '[' ? Members(false, ']')
                                 : *c == 't' ? Word("true")
                                 : *c == 'f' ? Word("false")
                                 : *c == 'n' ? Word("null")
                                             : Number());
        Blanks();
        return taken;
    }
    bool Word(const char *word)
    {
        size_t length = strlen(word);
        return (size_t)(end - c) >= length && memcmp(c, word, length) == 0 && (c += length);
    }
};

inline bool IsJson(const std::string &text)
{
    JsonReader reader{text.data(), text.data() + text.size()};
    return reader.Value(false) && reader.c == reader.end;
}
