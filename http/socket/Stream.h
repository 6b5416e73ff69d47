#pragma once

#include <cstdint>
#include <string>

// A byte stream with a size and a position, what SendStream reads and CaptureStream writes.
class TStream {
public:
    virtual ~TStream() = default;
    virtual std::int64_t size() const = 0;
    virtual std::int64_t position() const = 0;
    virtual void seek(std::int64_t position) = 0;
    // Both return the count moved and advance the position by it.
    virtual std::int64_t read(void* p, std::int64_t n) = 0;
    virtual std::int64_t write(const void* p, std::int64_t n) = 0;
};

// A stream held in memory.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

    std::int64_t size() const override { return static_cast<std::int64_t>(data_.size()); }
    std::int64_t position() const override { return position_; }
    void seek(std::int64_t position) override;
    std::int64_t read(void* p, std::int64_t n) override;
    std::int64_t write(const void* p, std::int64_t n) override;

    const std::string& data() const { return data_; }

private:
    std::string data_;
    std::int64_t position_ = 0;
};

// A stream on a file. Opening fails with LarkspanError "Cannot open file "NAME"" or
// "Cannot create file "NAME"", followed by the system's reason; write errors likewise.
class TFileStream final : public TStream {
public:
    enum class Mode { Read, Create };
    TFileStream(const std::string& name, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t size() const override;
    std::int64_t position() const override { return position_; }
    void seek(std::int64_t position) override;
    std::int64_t read(void* p, std::int64_t n) override;
    std::int64_t write(const void* p, std::int64_t n) override;

private:
    std::string name_;
    int fd_ = -1;
    std::int64_t position_ = 0;
};
