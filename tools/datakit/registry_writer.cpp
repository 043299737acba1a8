#include "tools/datakit/registry_writer.h"

#include <algorithm>

#include "tools/datakit/file_io.h"

namespace datakit
{

namespace
{

// The characters the reader trims from the ends of names and values.
bool IsTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y)
                      {
                          auto lower = [](char c)
                          { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
                          return lower(x) == lower(y);
                      });
}

// Why `text` cannot stand on a line as written, or nullptr.
const char* LineProblem(const std::string& text)
{
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return "contains a line break or NUL";
    if (!text.empty() && (IsTrimmed(text.front()) || IsTrimmed(text.back())))
        return "starts or ends with white space";
    return nullptr;
}

std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text)
    {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\0')
            out += "\\0";
        else
            out += c;
    }
    return out + "\"";
}

[[noreturn]] void Refuse(const std::string& what, const std::string& text, const char* why)
{
    throw Error("registry " + what + " " + Quoted(text) + " " + why);
}

void CheckSectionName(const std::string& name)
{
    if (name.empty())
        Refuse("section", name, "is empty");
    if (const char* why = LineProblem(name))
        Refuse("section", name, why);
    // The reader drops empty components of a key path, which would rename the key.
    if (name.front() == '\\' || name.back() == '\\' || name.find("\\\\") != std::string::npos)
        Refuse("section", name, "has an empty key name in its path");
}

void CheckValueName(const std::string& section, const std::string& name)
{
    std::string what = "value name in [" + section + "]";
    if (name.empty())
        Refuse(what, name, "is empty");
    if (const char* why = LineProblem(name))
        Refuse(what, name, why);
    if (name.find('=') != std::string::npos)
        Refuse(what, name, "contains '='");
    if (name.front() == '[' || name.front() == ';' || name.front() == '#')
        Refuse(what, name, "starts with '[', ';' or '#'");
}

} // namespace

void RegistryModel::Set(const std::string& section, const std::string& name,
                        const std::string& value)
{
    auto s = std::find_if(sections.begin(), sections.end(),
                          [&](const RegistrySection& x) { return EqualNoCase(x.name, section); });
    if (s == sections.end())
    {
        sections.push_back({section, {}});
        s = sections.end() - 1;
    }
    auto v = std::find_if(s->values.begin(), s->values.end(),
                          [&](const RegistryValue& x) { return EqualNoCase(x.name, name); });
    if (v == s->values.end())
        s->values.push_back({name, value});
    else
        v->value = value;
}

bool RegistryModel::Has(const std::string& section, const std::string& name) const
{
    for (const RegistrySection& s : sections)
        if (EqualNoCase(s.name, section))
            for (const RegistryValue& v : s.values)
                if (EqualNoCase(v.name, name))
                    return true;
    return false;
}

RegistryModel ParseRegistry(const std::string& text)
{
    auto trim = [](std::string s)
    {
        size_t first = 0, last = s.size();
        while (first < last && IsTrimmed(s[first]))
            ++first;
        while (last > first && IsTrimmed(s[last - 1]))
            --last;
        return s.substr(first, last - first);
    };
    RegistryModel model;
    std::string section;
    size_t at = 0;
    while (at < text.size())
    {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trim(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[' && line.back() == ']')
        {
            section = trim(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t equals = line.find('=');
        if (section.empty() || equals == std::string::npos)
            continue;
        const std::string name = trim(line.substr(0, equals));
        if (!name.empty())
            model.Set(section, name, trim(line.substr(equals + 1)));
    }
    return model;
}

std::string FormatRegistry(const RegistryModel& model)
{
    std::string text = "; Dezor settings and drive map, written by dezor-datakit.\n";
    for (size_t i = 0; i < model.sections.size(); ++i)
    {
        const RegistrySection& section = model.sections[i];
        CheckSectionName(section.name);
        for (size_t j = 0; j < i; ++j)
            if (EqualNoCase(model.sections[j].name, section.name))
                Refuse("section", section.name, "appears twice");

        text += "\n[" + section.name + "]\n";
        for (size_t k = 0; k < section.values.size(); ++k)
        {
            const RegistryValue& v = section.values[k];
            CheckValueName(section.name, v.name);
            for (size_t m = 0; m < k; ++m)
                if (EqualNoCase(section.values[m].name, v.name))
                    Refuse("value name in [" + section.name + "]", v.name, "appears twice");
            if (const char* why = LineProblem(v.value))
                Refuse("value of " + section.name + "\\" + v.name, v.value, why);
            text += v.name + "=" + v.value + "\n";
        }
    }
    return text;
}

void WriteRegistryFile(const std::filesystem::path& path, const RegistryModel& model)
{
    std::string text;
    try
    {
        text = FormatRegistry(model);
    }
    catch (const Error& e)
    {
        throw Error(path.string() + ": " + e.what());
    }
    WriteFileAtomically(path, AsBytes(text));
}

} // namespace datakit
