// The directory of extensions: who an extension is and which department
// it belongs to.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <unordered_map>

struct Person {
    std::string name;
    std::string department;
};

class Directory {
public:
    // Reads a directory CSV (extension,name,department); extensions are
    // digits, taken without leading zeros as the CDR line writes them.
    // Throws InputError.
    void load(std::istream& in, const std::string& name);
    const Person* find(std::string_view extension) const;
    const std::unordered_map<std::string, Person>& all() const { return people_; }

private:
    std::unordered_map<std::string, Person> people_;
};
