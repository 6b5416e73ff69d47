#include "core/sitemaps/SitemapReader.h"

#include "platform/Text.h"
#include "platform/Time.h"

#include <expat.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <exception>
#include <utility>

namespace {

// The separator expat puts between a namespace and a local name; no namespace name holds it.
constexpr char NamespaceSeparator = ' ';

bool isSitemapNamespace(std::string_view ns) {
    // The protocol's namespace; some generators write it with https, which is taken as meant.
    return ns.empty() || ns == "http://www.sitemaps.org/schemas/sitemap/0.9" ||
           ns == "https://www.sitemaps.org/schemas/sitemap/0.9";
}

// Splits an expat name into its namespace (empty for none) and its local name.
std::pair<std::string_view, std::string_view> splitName(const char* name) {
    std::string_view n(name);
    const auto sep = n.rfind(NamespaceSeparator);
    if (sep == std::string_view::npos) return {{}, n};
    return {n.substr(0, sep), n.substr(sep + 1)};
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimXmlSpace(std::string_view s) {
    while (!s.empty() && isXmlSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isXmlSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

// The expat and zlib state of one reading, and the element the parser is in.
struct SitemapReader::Parser {
    enum class Field { None, Loc, Lastmod };

    explicit Parser(SitemapReader& owner) : reader(owner) {
        xml = XML_ParserCreateNS(nullptr, NamespaceSeparator);
        if (!xml) throw std::bad_alloc();
        XML_SetUserData(xml, this);
        // External entities are never loaded (no handler is set, and parameter entities are
        // off), and a document type declaration stops the reading before its internal subset
        // could declare any entity at all.
        XML_SetParamEntityParsing(xml, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetStartDoctypeDeclHandler(xml, &Parser::onDoctype);
        XML_SetEntityDeclHandler(xml, &Parser::onEntityDecl);
        XML_SetElementHandler(xml, &Parser::onStart, &Parser::onEnd);
        XML_SetCharacterDataHandler(xml, &Parser::onText);
    }
    ~Parser() {
        XML_ParserFree(xml);
        if (inflating) inflateEnd(&zip);
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    static Parser& of(void* user) { return *static_cast<Parser*>(user); }

    void stop(std::string message, bool limit) {
        if (!reader.ended_) {
            reader.problem_ = std::move(message);
            reader.overLimit_ = limit;
            reader.ended_ = true;
        }
        XML_StopParser(xml, XML_FALSE);
    }

    static void XMLCALL onDoctype(void* user, const XML_Char* name, const XML_Char*, const XML_Char*, int) {
        Parser& p = of(user);
        if (equalsIgnoringCase(name, "html"))
            p.stop("the document is HTML, not a sitemap", false);
        else
            p.stop("the document has a document type declaration (<!DOCTYPE " + std::string(name) +
                       ">), which a sitemap never needs and which could expand entities or read other "
                       "files; it is not read",
                   false);
    }

    static void XMLCALL onEntityDecl(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                     const XML_Char*, const XML_Char*, const XML_Char*) {
        of(user).stop("the document declares an entity; it is not read", false);
    }

    static void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char**) {
        Parser& p = of(user);
        // Expat may still report what it had already read after the reading was stopped.
        if (p.reader.ended_) return;
        auto [ns, local] = splitName(name);
        const bool ours = isSitemapNamespace(ns);
        if (p.depth == 0) {
            if (ours && local == "urlset")
                p.reader.kind_ = Kind::UrlSet;
            else if (ours && local == "sitemapindex")
                p.reader.kind_ = Kind::Index;
            else if (equalsIgnoringCase(local, "html"))
                p.stop("the document is HTML, not a sitemap", false);
            else
                p.stop("the document is not a sitemap: its root element is <" + std::string(local) +
                           ">, not <urlset> or <sitemapindex>",
                       false);
        } else if (p.depth == 1) {
            p.inEntry = ours && local == (p.reader.kind_ == Kind::Index ? "sitemap" : "url");
            if (p.inEntry) {
                p.loc.clear();
                p.lastmod.clear();
                p.hasLoc = false;
            }
        } else if (p.depth == 2 && p.inEntry && ours) {
            if (local == "loc") {
                p.field = Field::Loc;
                p.loc.clear();
                p.hasLoc = true;
            } else if (local == "lastmod") {
                p.field = Field::Lastmod;
                p.lastmod.clear();
            }
        }
        ++p.depth;
    }

    static void XMLCALL onEnd(void* user, const XML_Char*) {
        Parser& p = of(user);
        --p.depth;
        if (p.depth == 2) p.field = Field::None;
        if (p.depth == 1 && p.inEntry) {
            p.inEntry = false;
            if (p.hasLoc) p.emit();
        }
    }

    static void XMLCALL onText(void* user, const XML_Char* text, int length) {
        Parser& p = of(user);
        if (p.field == Field::None) return;
        std::string& target = p.field == Field::Loc ? p.loc : p.lastmod;
        // A location longer than the protocol allows is dropped whole later; keeping one byte
        // more than the limit is enough to see that, whatever the document sends.
        const std::size_t room = MaxLocLength + 64 - std::min(target.size(), MaxLocLength + 64);
        target.append(text, std::min(static_cast<std::size_t>(length), room));
    }

    void emit() {
        if (reader.ended_) return;
        if (reader.entries_ >= MaxEntries) {
            stop(std::string("the ") + (reader.kind_ == Kind::Index ? "sitemap index" : "sitemap") +
                     " lists more than " + withThousands(MaxEntries) + " entries; the first " +
                     withThousands(MaxEntries) + " are kept",
                 true);
            return;
        }
        const std::string_view at = trimXmlSpace(loc);
        const auto when = parseW3cDatetime(trimXmlSpace(lastmod));
        ++reader.entries_;
        bool more = false;
        try {
            more = reader.onEntry_(at, when ? *when : NoLastmod);
        } catch (...) {
            // Nothing may unwind through the parser's C frames; it is rethrown after it returns.
            error = std::current_exception();
        }
        if (!more) {
            reader.ended_ = true;
            XML_StopParser(xml, XML_FALSE);
        }
    }

    SitemapReader& reader;
    XML_Parser xml = nullptr;
    z_stream zip{};
    bool inflating = false;
    bool zipEnded = false;
    int depth = 0;
    bool inEntry = false;
    bool hasLoc = false;
    Field field = Field::None;
    std::string loc;
    std::string lastmod;
    std::exception_ptr error;
};

SitemapReader::SitemapReader(EntryHandler onEntry)
    : parser_(std::make_unique<Parser>(*this)), onEntry_(std::move(onEntry)) {}

SitemapReader::~SitemapReader() = default;

void SitemapReader::fail(std::string message) {
    if (ended_) return;
    problem_ = std::move(message);
    ended_ = true;
}

void SitemapReader::failFromExpat() {
    // HTML pages (an error page served with status 200, say) often are no XML at all: a
    // lowercase doctype, unclosed elements. Said as what they are, they are easy to fix.
    if (kind_ == Kind::Unknown) {
        std::string lowered = start_;
        for (char& c : lowered)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (lowered.find("<!doctype html") != std::string::npos ||
            lowered.find("<html") != std::string::npos) {
            fail("the document is HTML, not a sitemap");
            return;
        }
    }
    const XML_Error code = XML_GetErrorCode(parser_->xml);
    const auto line = XML_GetCurrentLineNumber(parser_->xml);
    const auto column = XML_GetCurrentColumnNumber(parser_->xml);
    fail("the document is not well-formed XML at line " + std::to_string(line) + ", column " +
         std::to_string(column) + " (" + XML_ErrorString(code) + "); the " + withThousands(entries_) +
         " entries before it are kept");
}

bool SitemapReader::feedXml(const char* data, std::size_t size) {
    if (ended_) return false;
    bool tooLarge = false;
    if (bytes_ + size > MaxBytes) {
        size = static_cast<std::size_t>(MaxBytes - bytes_);
        tooLarge = true;
    }
    bytes_ += size;
    if (start_.size() < 512) start_.append(data, std::min(size, 512 - start_.size()));
    // Expat takes an int length; the pieces given here are never near that, but a caller's
    // piece is split all the same.
    while (size > 0 && !ended_) {
        const int n = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
        const XML_Status status = XML_Parse(parser_->xml, data, n, XML_FALSE);
        if (parser_->error) std::rethrow_exception(std::exchange(parser_->error, nullptr));
        if (status == XML_STATUS_ERROR && !ended_) failFromExpat();
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    if (tooLarge && !ended_) {
        problem_ = "the document is larger than " + withThousands(MaxBytes) +
                   " bytes (uncompressed); the entries before that point are kept";
        overLimit_ = true;
        ended_ = true;
    }
    return !ended_;
}

bool SitemapReader::feed(std::string_view piece) {
    if (ended_) return false;
    if (!started_) {
        head_.append(piece);
        if (head_.size() < 2) return true;
        started_ = true;
        gzip_ = static_cast<unsigned char>(head_[0]) == 0x1f && static_cast<unsigned char>(head_[1]) == 0x8b;
        if (gzip_) {
            // 16 + the window bits: a gzip header and trailer, not a bare zlib stream.
            if (inflateInit2(&parser_->zip, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
            parser_->inflating = true;
        }
        std::string first = std::move(head_);
        head_.clear();
        return feed(first);
    }
    if (!gzip_) return feedXml(piece.data(), piece.size());

    z_stream& z = parser_->zip;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    z.avail_in = static_cast<uInt>(piece.size());
    std::array<char, 65536> out;
    while (!ended_) {
        if (parser_->zipEnded) {
            // Members of a gzip file may follow one another; each is inflated in turn. Bytes
            // after the last member that start no new one (padding) are ignored, as gzip does.
            if (z.avail_in == 0 || z.next_in[0] != 0x1f) break;
            inflateReset(&z);
            parser_->zipEnded = false;
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int ret = inflate(&z, Z_NO_FLUSH);
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) {
            fail(std::string("the gzip data is damaged (") + (z.msg ? z.msg : "inflate failed") + "); the " +
                 withThousands(entries_) + " entries before it are kept");
            break;
        }
        const std::size_t produced = out.size() - z.avail_out;
        if (produced > 0) feedXml(out.data(), produced);
        if (ret == Z_STREAM_END) parser_->zipEnded = true;
        // Without new output and with all input taken, inflate needs the next piece.
        if (produced == 0 && !parser_->zipEnded) break;
    }
    return !ended_;
}

void SitemapReader::finish() {
    if (ended_) return;
    if (!started_) {
        if (head_.empty()) {
            fail("the document is empty");
            return;
        }
        started_ = true;
        feedXml(head_.data(), head_.size());
        if (ended_) return;
    }
    if (gzip_ && !parser_->zipEnded) {
        fail("the gzip data is cut off; the " + withThousands(entries_) + " entries before the cut are kept");
        return;
    }
    const XML_Status status = XML_Parse(parser_->xml, nullptr, 0, XML_TRUE);
    if (parser_->error) std::rethrow_exception(std::exchange(parser_->error, nullptr));
    if (status == XML_STATUS_OK || ended_) return;
    const XML_Error code = XML_GetErrorCode(parser_->xml);
    if (code == XML_ERROR_NO_ELEMENTS || code == XML_ERROR_UNCLOSED_TOKEN || code == XML_ERROR_PARTIAL_CHAR ||
        code == XML_ERROR_UNCLOSED_CDATA_SECTION) {
        if (kind_ == Kind::Unknown)
            fail("the document holds no XML element");
        else
            fail("the document is cut off at line " + std::to_string(XML_GetCurrentLineNumber(parser_->xml)) +
                 " before its end; the " + withThousands(entries_) + " entries before the cut are kept");
    } else {
        failFromExpat();
    }
}
