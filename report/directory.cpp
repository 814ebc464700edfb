// The directory file.
#include "directory.h"

#include "csvfile.h"

void Directory::load(std::istream& in, const std::string& name)
{
    enum { EXTENSION, NAME, DEPARTMENT };
    CsvFile f(in, name, {"extension", "name", "department"});
    while (f.next()) {
        std::string_view ext = f.field(EXTENSION);
        if (ext.empty() || ext.size() > 7 || ext.find_first_not_of("0123456789") != ext.npos)
            f.fail("the extension \"" + std::string(ext) + "\" is not 1 to 7 digits");
        ext.remove_prefix(std::min(ext.find_first_not_of('0'), ext.size()));
        Person p{std::string(f.field(NAME)), std::string(f.field(DEPARTMENT))};
        if (p.department.empty())
            p.department = "-";
        if (!people_.emplace(std::string(ext), std::move(p)).second)
            f.fail("the extension \"" + std::string(f.field(EXTENSION)) + "\" is given twice");
    }
}

const Person* Directory::find(std::string_view extension) const
{
    auto at = people_.find(std::string(extension));
    return at == people_.end() ? nullptr : &at->second;
}
