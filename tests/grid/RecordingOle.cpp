#include "RecordingOle.h"

#include <memory>

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out + "\"";
}

} // namespace

class RecordedObject final : public OleObject {
public:
    RecordedObject(RecordingOle& owner, int id) : owner_(owner), id_(id) { ++owner_.objectsAlive; }
    ~RecordedObject() override {
        --owner_.objectsAlive;
        if (id_ == 1) owner_.log_->push_back("release #1");
    }

    int id() const { return id_; }

    OleValue Get(std::string_view name, const OleArgs& args) override {
        std::string call(name);
        if (!args.empty()) call += "[" + list(args, {}) + "]";
        return answer(name, call);
    }
    void Set(std::string_view name, const OleValue& value) override {
        owner_.log_->push_back("#" + std::to_string(id_) + "." + std::string(name) + " = " + text(value));
        fail(name);
    }
    OleValue Call(std::string_view method, const OleArgs& args, const OleNamedArgs& named) override {
        return answer(method, std::string(method) + "(" + list(args, named) + ")");
    }

private:
    OleValue answer(std::string_view name, const std::string& call) {
        auto result = std::make_shared<RecordedObject>(owner_, owner_.nextId_++);
        owner_.log_->push_back("#" + std::to_string(id_) + "." + call + " -> #" +
                               std::to_string(result->id()));
        fail(name);
        return result;
    }
    void fail(std::string_view name) const {
        if (name == owner_.failingMember) throw LarkspanError("The server refused the call");
    }

    static std::string text(const OleValue& value) {
        if (std::holds_alternative<std::monostate>(value)) return "empty";
        if (const auto* number = std::get_if<long>(&value)) return std::to_string(*number);
        if (const auto* s = std::get_if<std::string>(&value)) return quoted(*s);
        if (const auto* object = std::get_if<std::shared_ptr<OleObject>>(&value)) {
            auto* recorded = dynamic_cast<RecordedObject*>(object->get());
            return recorded ? "#" + std::to_string(recorded->id()) : "foreign object";
        }
        std::string out = "[";
        for (const auto& row : std::get<OleTextBlock>(value)) {
            out += out.size() > 1 ? ",[" : "[";
            for (std::size_t i = 0; i < row.size(); ++i)
                out += (i ? "," : "") + quoted(row[i]);
            out += "]";
        }
        return out + "]";
    }
    static std::string list(const OleArgs& args, const OleNamedArgs& named) {
        std::string out;
        for (const auto& a : args)
            out += (out.empty() ? "" : ", ") + text(a);
        for (const auto& n : named)
            out += (out.empty() ? "" : ", ") + n.name + ":=" + text(n.value);
        return out;
    }

    RecordingOle& owner_;
    int id_;
};

std::shared_ptr<OleObject> RecordingOle::CreateOleObject(std::string_view progId) {
    log_->push_back("create " + std::string(progId) + (available ? " -> #1" : " failed"));
    if (!available) throw LarkspanError("Invalid class string");
    nextId_ = 1;
    return std::make_shared<RecordedObject>(*this, nextId_++);
}
