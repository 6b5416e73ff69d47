#pragma once

#include <string>
#include <string_view>
#include <vector>

// A list of text lines with helpers for lines of the form "Name: value", used to build the
// lines of a request.
class TExStringList {
public:
    void Clear() { lines_.clear(); }
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Delete(std::size_t index);
    std::size_t Count() const { return lines_.size(); }
    const std::string& operator[](std::size_t index) const { return lines_.at(index); }
    const std::vector<std::string>& Lines() const { return lines_; }

    // Every line followed by CR LF.
    std::string Text() const;

    // Index of the first line that has a ":" and whose text before its first ":" equals name,
    // ignoring the case of a-z; -1 when there is none.
    int IndexOfHeaderName(std::string_view name) const;

    // Replaces that line, or appends one, with name + ": " + value; an empty value deletes it.
    void SetHeaderValue(std::string_view name, std::string_view value);

private:
    std::vector<std::string> lines_;
};
