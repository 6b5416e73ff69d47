#include "http/socket/ExStringList.h"

#include "platform/Text.h"

void TExStringList::Delete(std::size_t index) {
    if (index < lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string TExStringList::Text() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

int TExStringList::IndexOfHeaderName(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto colon = lines_[i].find(':');
        if (colon != std::string::npos &&
            equalsIgnoringCase(std::string_view(lines_[i]).substr(0, colon), name))
            return static_cast<int>(i);
    }
    return -1;
}

void TExStringList::SetHeaderValue(std::string_view name, std::string_view value) {
    int index = IndexOfHeaderName(name);
    if (value.empty()) {
        if (index >= 0) Delete(static_cast<std::size_t>(index));
        return;
    }
    std::string line = std::string(name) + ": " + std::string(value);
    if (index >= 0)
        lines_[static_cast<std::size_t>(index)] = std::move(line);
    else
        lines_.push_back(std::move(line));
}
