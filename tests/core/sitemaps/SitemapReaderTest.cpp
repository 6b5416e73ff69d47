// The sitemap reader on files shaped like those real sites serve, and on hostile ones.
#include "tests/core/support/SitemapTestSupport.h"

#include "platform/Time.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::int64_t utc(const char* text) {
    return *parseW3cDatetime(text);
}

constexpr const char* Ns = "http://www.sitemaps.org/schemas/sitemap/0.9";

std::string urlset(const std::string& body) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset xmlns=\"") + Ns + "\">" + body +
           "</urlset>\n";
}

TEST(SitemapReader, RealShapedFilesGiveTheSameEntriesInAnyPieces) {
    // A byte order mark, extension namespaces whose <loc> must not count, CDATA, entities,
    // white space around values, and every lastmod form.
    const std::string file =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"\n"
        "  xmlns:image=\"http://www.google.com/schemas/sitemap-image/1.1\"\n"
        "  xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">\n"
        "<!-- generated -->\n"
        "<url><loc>\n  https://example.com/a?x=1&amp;y=&#50;\n</loc><lastmod>2024</lastmod>\n"
        "  <image:image><image:loc>https://example.com/img.png</image:loc></image:image>\n"
        "  <xhtml:link rel=\"alternate\" hreflang=\"de\" href=\"https://example.com/de/a\"/></url>\n"
        "<url><loc><![CDATA[https://example.com/b?q=<&>]]></loc><lastmod>2024-05</lastmod>"
        "<changefreq>daily</changefreq><priority>0.5</priority></url>\n"
        "<url><loc>https://example.com/c</loc><lastmod> 2024-05-06 </lastmod></url>\n"
        "<url><loc>https://example.com/d</loc><lastmod>2024-05-06T07:08+01:00</lastmod></url>\n"
        "<url><loc>https://example.com/e</loc><lastmod>2024-05-06T07:08:09Z</lastmod></url>\n"
        "<url><lastmod>2024-05-06T07:08:09.5-02:00</lastmod><loc>https://example.com/f</loc></url>\n"
        "<url><loc>https://example.com/g</loc><lastmod>last tuesday</lastmod></url>\n"
        "</urlset>\n";
    const std::vector<ReadEntry> expected{
        {"https://example.com/a?x=1&y=2", utc("2024-01-01")},
        {"https://example.com/b?q=<&>", utc("2024-05-01")},
        {"https://example.com/c", utc("2024-05-06")},
        {"https://example.com/d", utc("2024-05-06T06:08Z")},
        {"https://example.com/e", utc("2024-05-06T07:08:09Z")},
        {"https://example.com/f", utc("2024-05-06T09:08:09Z")},
        {"https://example.com/g", NoLastmod},
    };
    for (std::size_t piece : {std::size_t{1}, std::size_t{5}, file.size()}) {
        ReadResult r = readInPieces(file, piece);
        EXPECT_EQ(r.kind, SitemapReader::Kind::UrlSet);
        EXPECT_EQ(r.problem, "");
        EXPECT_EQ(r.entries, expected) << "pieces of " << piece;
        ReadResult z = readInPieces(gzipped(file), piece);
        EXPECT_EQ(z.problem, "");
        EXPECT_EQ(z.entries, expected) << "gzip in pieces of " << piece;
    }
    // Without any namespace, and as an index; a foreign namespace's <url> is no entry.
    ReadResult plain = readInPieces("<urlset><url><loc>http://a/1</loc></url>"
                                    "<url xmlns=\"http://other/\"><loc>http://a/2</loc></url></urlset>",
                                    3);
    EXPECT_EQ(plain.entries, (std::vector<ReadEntry>{{"http://a/1", NoLastmod}}));
    ReadResult index = readInPieces(std::string("<sitemapindex xmlns=\"") + Ns +
                                        "\"><sitemap><loc>http://a/s1.xml.gz</loc>"
                                        "<lastmod>2020-01-02</lastmod></sitemap></sitemapindex>",
                                    4);
    EXPECT_EQ(index.kind, SitemapReader::Kind::Index);
    EXPECT_EQ(index.entries, (std::vector<ReadEntry>{{"http://a/s1.xml.gz", utc("2020-01-02")}}));
    // Two gzip members in a row are one file.
    ReadResult members = readInPieces(gzipped("<urlset><url><loc>http://a/1</loc></url>") +
                                          gzipped("<url><loc>http://a/2</loc></url></urlset>"),
                                      6);
    EXPECT_EQ(members.problem, "");
    EXPECT_EQ(members.entries.size(), 2u);
}

TEST(SitemapReader, EntityTricksAndDocumentTypesAreRefusedBeforeAnythingIsExpanded) {
    TempDir dir;
    dir.write("secret.txt", "TOP-SECRET");
    const std::string xxe = "<?xml version=\"1.0\"?><!DOCTYPE urlset [<!ENTITY x SYSTEM \"file://" +
                            dir.file("secret.txt") + "\">]><urlset><url><loc>&x;</loc></url></urlset>";
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 12; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><urlset><url><loc>&l11;</loc></url></urlset>";
    for (const std::string& doc : {xxe, laughs}) {
        ReadResult r = readInPieces(doc, 16);
        EXPECT_TRUE(r.entries.empty());
        EXPECT_NE(r.problem.find("document type declaration"), std::string::npos) << r.problem;
    }
    for (const char* page : {"<!DOCTYPE html><html><body>Not found</body></html>",
                             "<!doctype html>\n<html><head><meta charset=utf-8><title>Shop</title>",
                             "<HTML><BODY><P>Moved<BR></BODY></HTML>"})
        EXPECT_EQ(readInPieces(page, 8).problem, "the document is HTML, not a sitemap") << page;
    ReadResult xhtml = readInPieces("<html xmlns=\"http://www.w3.org/1999/xhtml\"><body/></html>", 8);
    EXPECT_EQ(xhtml.problem, "the document is HTML, not a sitemap");
    ReadResult feed = readInPieces("<rss><channel/></rss>", 8);
    EXPECT_EQ(feed.problem, "the document is not a sitemap: its root element is <rss>, not <urlset> or "
                            "<sitemapindex>");
}

TEST(SitemapReader, BrokenInputKeepsWhatCameBeforeAndSaysWhere) {
    const std::string good = "<url><loc>http://a/1</loc></url><url><loc>http://a/2</loc></url>";
    const std::string whole = urlset(good + "<url><loc>http://a/3</loc></url>");
    ReadResult cut = readInPieces(whole.substr(0, whole.find("http://a/3") + 5), 10);
    EXPECT_EQ(cut.entries.size(), 2u);
    EXPECT_EQ(cut.problem.substr(0, 29), "the document is cut off at li");
    EXPECT_NE(cut.problem.find("the 2 entries before the cut are kept"), std::string::npos) << cut.problem;

    std::string zipped = gzipped(urlset(good + good));
    ReadResult zipCut = readInPieces(zipped.substr(0, zipped.size() - 12), 10);
    EXPECT_NE(zipCut.problem.find("the gzip data is cut off"), std::string::npos) << zipCut.problem;
    std::string unknownMethod = zipped;
    unknownMethod[2] = 7;
    ReadResult damaged = readInPieces(unknownMethod, 10);
    EXPECT_NE(damaged.problem.find("the gzip data is damaged"), std::string::npos) << damaged.problem;

    ReadResult utf8 = readInPieces(urlset(good + "<url><loc>http://a/\xC3\x28</loc></url>" + good), 7);
    EXPECT_EQ(utf8.entries.size(), 2u);
    EXPECT_NE(utf8.problem.find("not well-formed XML at line 2"), std::string::npos) << utf8.problem;

    EXPECT_EQ(readInPieces("", 1).problem, "the document is empty");
    EXPECT_EQ(readInPieces("  \n", 1).problem, "the document holds no XML element");
}

TEST(SitemapReader, TheProtocolsLimitsHoldAndBoundBombsAndEndlessStreams) {
    // 50,001 entries: the first 50,000 are kept.
    std::string many = "<urlset>";
    for (int i = 0; i <= 50'000; ++i)
        many += "<url><loc>http://a/" + std::to_string(i) + "</loc></url>";
    many += "</urlset>";
    ReadResult over = readInPieces(many, 65536);
    EXPECT_EQ(over.entries.size(), 50'000u);
    EXPECT_TRUE(over.overLimit);
    EXPECT_EQ(over.problem, "the sitemap lists more than 50,000 entries; the first 50,000 are kept");

    // A gzip bomb: a few kilobytes that would inflate to a gigabyte of white space.
    std::string bomb;
    {
        z_stream z{};
        // Run-length matching compresses the blank gigabyte as well as the slow levels do.
        deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_RLE);
        std::string in = urlset("<url><loc>http://a/kept</loc></url>");
        in.resize(in.size() - 10); // inside the urlset
        std::string spaces(1 << 20, ' ');
        std::string out(1 << 20, '\0');
        for (int mb = 0; mb <= 1024; ++mb) {
            const std::string& chunk = mb == 0 ? in : spaces;
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
            z.avail_in = static_cast<uInt>(chunk.size());
            do {
                z.next_out = reinterpret_cast<Bytef*>(out.data());
                z.avail_out = static_cast<uInt>(out.size());
                deflate(&z, mb == 1024 ? Z_FINISH : Z_NO_FLUSH);
                bomb.append(out.data(), out.size() - z.avail_out);
            } while (z.avail_out == 0);
        }
        deflateEnd(&z);
    }
    ASSERT_LT(bomb.size(), 2u << 20);
    ReadResult burst = readInPieces(bomb, 4096);
    EXPECT_TRUE(burst.overLimit);
    EXPECT_EQ(burst.entries.size(), 1u);
    EXPECT_EQ(burst.problem, "the document is larger than 52,428,800 bytes (uncompressed); the entries "
                             "before that point are kept");

    // An endless stream without an end tag: the reader refuses more after the limit.
    SitemapReader reader([](std::string_view, std::int64_t) { return true; });
    const std::string chunk(65536, ' ');
    std::uint64_t fed = 0;
    ASSERT_TRUE(reader.feed("<urlset>"));
    while (reader.feed(chunk) && fed < (1ull << 30))
        fed += chunk.size();
    EXPECT_LE(fed, SitemapReader::MaxBytes);
    EXPECT_TRUE(reader.overLimit());
}

} // namespace
