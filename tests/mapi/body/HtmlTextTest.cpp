#include "mapi/HtmlText.h"

#include <gtest/gtest.h>

using namespace Tarvik::MAPI;

TEST(TextFromHtml, GivesWhatAReaderSees) {
    struct Case {
        const char* name;
        const char* html;
        const char* text;
    } cases[] = {
        {"head, script and style are not text",
         "<html><head><title>T</title><style>p{}</style></head><body><script>x()</script>Hi</body></html>",
         "Hi"},
        {"white space collapses", "<body>  a \r\n\t b  <b> c </b> d</body>", "a b c d"},
        {"br ends a line", "<body>one<br>two<br/>  three</body>", "one\r\ntwo\r\nthree"},
        {"paragraphs stand apart", "<body><p>one</p><p>two</p>three</body>", "one\r\n\r\ntwo\r\n\r\nthree"},
        {"blocks stand on their own lines",
         "<body><h1>Title</h1><div>a</div><ul><li>x</li><li>y</li></ul></body>", "Title\r\na\r\nx\r\ny"},
        {"a trailing br counts for the block's line end", "<body><div>a<br></div><div>b</div></body>",
         "a\r\nb"},
        {"Word paragraphs are single lines, empty ones give empty lines",
         "<body><p class=MsoNormal>Hello,<o:p></o:p></p><p class=MsoNormal><o:p>&nbsp;</o:p></p>"
         "<p class=MsoNormal>Regards</p></body>",
         "Hello,\r\n\r\nRegards"},
        {"preformatted text keeps its spaces and lines", "<body><pre>a  b\n  c</pre>d</body>",
         "a  b\r\n  c\r\nd"},
        {"table cells are separated by tabs",
         "<body><table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table></body>", "a\tb\r\nc"},
        {"entities and non-breaking spaces", "<body>&lt;tag&gt; &amp; caf&eacute;&nbsp;&nbsp;</body>",
         "<tag> & café"},
        {"no body element", "plain words", "plain words"},
        {"broken markup", "<body><p>open <b>bold <i>both</p> after", "open bold both\r\n\r\nafter"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(TextFromHtml(test.html), test.text) << test.name;
    }
}

TEST(TextFromHtml, DecodesTheGivenCharsetOrTheDocumentsOwn) {
    EXPECT_EQ(TextFromHtml("<body>Gr\xfc\xdf"
                           "e</body>",
                           "windows-1252"),
              "Grüße");
    EXPECT_EQ(
        TextFromHtml("<html><head><meta charset=windows-1251></head><body>\xcf\xf0\xe8</body></html>", ""),
        "При");
    EXPECT_EQ(TextFromHtml("<body>Grüße</body>", "no-such-charset"), "Grüße");
    // A stale declaration inside the HTML does not override the charset the caller knows.
    EXPECT_EQ(
        TextFromHtml("<html><head><meta charset=windows-1251></head><body>Grüße</body></html>", "utf-8"),
        "Grüße");
}

TEST(TextFromHtml, CopesWithEmptyAndDeepDocuments) {
    EXPECT_EQ(TextFromHtml(""), "");
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<div>";
    deep += "deep";
    EXPECT_EQ(TextFromHtml(deep), "deep");
}
