// Pinyin lookup, matching and sorting of app names (units/pinyin.h).
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "search/pinyin.h"

namespace {

// Every reading of one character, joined by spaces: "xing hang".
std::string Readings(wchar_t c) {
    uint16_t s[search::kMaxPinyinReadings];
    int n = search::PinyinReadings(c, s);
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? " " : "") + std::string(search::PinyinSyllable(s[i]));
    return out;
}

bool Finds(const std::wstring& name, const std::wstring& query) {
    return search::MatchesPinyin(search::MakePinyinKey(name), query);
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

} // namespace

TEST(Pinyin, ReadingsMostCommonFirstAndEveryReadingOfAPolyphone) {
    EXPECT_EQ(Readings(L'微'), "wei");
    EXPECT_EQ(Readings(L'信'), "xin");
    EXPECT_EQ(Readings(L'行'), "xing hang heng");
    EXPECT_EQ(Readings(L'重'), "zhong chong");
    EXPECT_EQ(Readings(L'乐'), "le yue");
    EXPECT_EQ(Readings(L'绿'), "lv lu");        // ü written v
    EXPECT_EQ(Readings(L'一'), "yi");           // first of the block
    EXPECT_EQ(Readings(L'\x3400'), "qiu");      // extension A
    // Nothing for what the table does not cover.
    EXPECT_EQ(Readings(L'A'), "");
    EXPECT_EQ(Readings(L'7'), "");
    EXPECT_EQ(Readings(L'\x3042'), "");         // hiragana
    EXPECT_EQ(Readings(L'\xD840'), "");         // half a surrogate pair
    EXPECT_EQ(Readings(L'\xFFFF'), "");
    EXPECT_STREQ(search::PinyinSyllable(60000), "");
}

TEST(Pinyin, EveryCharacterOfTheOldUnifiedBlockReadsAsLetters) {
    // U+4E00-U+9FA5, the block GBK has: all but ten obscure characters (兙 and
    // other old units of measure) have readings in the Unicode Han database.
    int without = 0;
    std::string bad;
    for (wchar_t c = 0x4E00; c <= 0x9FA5; ++c) {
        uint16_t s[search::kMaxPinyinReadings];
        int n = search::PinyinReadings(c, s);
        without += n == 0;
        for (int i = 0; i < n; ++i) {
            std::string text = search::PinyinSyllable(s[i]);
            if (text.empty() || text.find_first_not_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos)
                bad += std::to_string(static_cast<int>(c)) + " ";
        }
    }
    EXPECT_EQ(without, 10);
    EXPECT_EQ(bad, "");
}

TEST(Pinyin, InitialsFullPinyinAndMixturesFindAName) {
    for (const wchar_t* q : {L"wx", L"weixin", L"weix", L"wxin", L"wei", L"w", L"xin", L"WX", L"WeiXin", L"微x",
                             L"w信", L"微信", L"信"})
        EXPECT_TRUE(Finds(L"微信", q)) << Narrow(q);
    for (const wchar_t* q : {L"zfb", L"zhifubao", L"zhfb", L"zhifb", L"fubao", L"zf"})
        EXPECT_TRUE(Finds(L"支付宝", q)) << Narrow(q);
    // A match is whole characters in a row, from the beginning of a reading.
    for (const wchar_t* q : {L"xw", L"eixin", L"weixinn", L"wxa", L"wxn", L"wix", L"微微", L"ｗｘｘ"})
        EXPECT_FALSE(Finds(L"微信", q)) << Narrow(q);
    EXPECT_FALSE(Finds(L"支付宝", L"zfbb"));
    EXPECT_FALSE(Finds(L"淘宝", L"wx"));
    EXPECT_FALSE(Finds(L"淘宝", L"zfb"));
}

TEST(Pinyin, APolyphoneMatchesByAnyOfItsReadings) {
    for (const wchar_t* q : {L"yh", L"yinhang", L"yinxing", L"yx", L"yinh", L"hang"})
        EXPECT_TRUE(Finds(L"招商银行", q)) << Narrow(q);
    for (const wchar_t* q : {L"z", L"c", L"zhong", L"chong", L"cq", L"chongqing", L"zq"})
        EXPECT_TRUE(Finds(L"重庆", q)) << Narrow(q);
    EXPECT_FALSE(Finds(L"重庆", L"tq"));
    // ü typed as v or as u.
    EXPECT_TRUE(Finds(L"绿洲", L"lvzhou"));
    EXPECT_TRUE(Finds(L"绿洲", L"luzhou"));
    EXPECT_TRUE(Finds(L"旅行", L"lvx"));
    EXPECT_TRUE(Finds(L"旅行", L"lux"));
}

TEST(Pinyin, LatinLettersAndDigitsMatchThemselvesInEitherCase) {
    for (const wchar_t* q : {L"qqyy", L"qqyinyue", L"QQYY", L"qq", L"q", L"yinyue", L"qyy", L"QQ音乐", L"qq音y"})
        EXPECT_TRUE(Finds(L"QQ音乐", q)) << Narrow(q);
    for (const wchar_t* q : {L"yyqq", L"qqq", L"qqle"}) EXPECT_FALSE(Finds(L"QQ音乐", q)) << Narrow(q);
    EXPECT_TRUE(Finds(L"QQ音乐", L"qqyl"));            // 乐 reads le as well
    EXPECT_TRUE(Finds(L"ＱＱ音乐", L"qqyy"));          // full-width letters
    EXPECT_TRUE(Finds(L"qq浏览器", L"QQLLQ"));
    EXPECT_TRUE(Finds(L"Google Play 商店", L"play"));
    EXPECT_TRUE(Finds(L"Google Play 商店", L"google play"));
    EXPECT_TRUE(Finds(L"Google Play 商店", L"play sd"));
    EXPECT_FALSE(Finds(L"Google Play 商店", L"gp"));
    EXPECT_TRUE(Finds(L"铁路12306", L"12306"));
    EXPECT_TRUE(Finds(L"铁路12306", L"tl123"));
    EXPECT_FALSE(Finds(L"铁路12306", L"13"));
    EXPECT_TRUE(Finds(L"Ｃ盘清理", L"c盘"));
    EXPECT_TRUE(Finds(L"ドコモ", L"コモ"));
    EXPECT_FALSE(Finds(L"ドコモ", L"モコ"));
}

TEST(Pinyin, EveryPieceOfANameFindsItByTextInitialsAndReadings) {
    // Every run of characters, typed as itself, as its initials and as its
    // readings, finds the name; a run without letters finds exactly the
    // names that contain it.
    const std::vector<std::wstring> names = {L"微信", L"QQ音乐", L"招商银行", L"铁路12306", L"重庆", L"Ｃ盘清理",
                                             L"绿洲", L"哔哩哔哩", L"支付宝-2"};
    for (const std::wstring& name : names) {
        search::PinyinKey key = search::MakePinyinKey(name);
        for (size_t from = 0; from < name.size(); ++from) {
            for (size_t len = 1; from + len <= name.size(); ++len) {
                const std::wstring piece = name.substr(from, len);
                std::wstring initials, full;
                for (wchar_t c : piece) {
                    // The last reading, so that a polyphone's others count too.
                    uint16_t s[search::kMaxPinyinReadings];
                    int n = search::PinyinReadings(c, s);
                    const std::string reading = n ? search::PinyinSyllable(s[n - 1]) : "";
                    initials += n ? static_cast<wchar_t>(reading[0]) : c;
                    full += n ? std::wstring(reading.begin(), reading.end()) : std::wstring(1, c);
                }
                EXPECT_TRUE(search::MatchesPinyin(key, piece)) << Narrow(name) << " by " << Narrow(piece);
                EXPECT_TRUE(search::MatchesPinyin(key, initials)) << Narrow(name) << " by " << Narrow(initials);
                EXPECT_TRUE(search::MatchesPinyin(key, full)) << Narrow(name) << " by " << Narrow(full);
            }
        }
        for (const std::wstring& other : names) {
            for (const std::wstring& piece : {other, other.substr(1), other.substr(0, other.size() - 1)}) {
                auto letter = [](wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); };
                if (std::any_of(piece.begin(), piece.end(), letter)) continue;
                EXPECT_EQ(search::MatchesPinyin(key, piece), name.find(piece) != std::wstring::npos)
                    << Narrow(name) << " by " << Narrow(piece);
            }
        }
    }
}

TEST(Pinyin, EmptyQueriesEmptyNamesAndLongQueries) {
    EXPECT_TRUE(Finds(L"微信", L""));
    EXPECT_TRUE(Finds(L"", L""));
    EXPECT_FALSE(Finds(L"", L"w"));
    // Past 63 characters the query is plain text.
    std::wstring longName(100, L'a');
    longName += L"微信";
    EXPECT_TRUE(Finds(longName, std::wstring(70, L'A') + L"微信"));
    EXPECT_FALSE(Finds(longName, std::wstring(70, L'a') + L"wx"));
    EXPECT_TRUE(Finds(longName, std::wstring(60, L'a') + L"wx"));
    // One prepared query serves many names.
    search::PinyinQuery q(L"wx");
    EXPECT_TRUE(search::MatchesPinyin(search::MakePinyinKey(L"微信"), q));
    EXPECT_TRUE(search::MatchesPinyin(search::MakePinyinKey(L"无线"), q));
    EXPECT_FALSE(search::MatchesPinyin(search::MakePinyinKey(L"王者荣耀"), q));
}

TEST(Pinyin, KeyHoldsEachCharacterFoldedWithItsReadings) {
    search::PinyinKey key = search::MakePinyinKey(L"Ｑq乐 ");
    ASSERT_EQ(key.units.size(), 4u);
    EXPECT_EQ(key.units[0].ch, L'q');
    EXPECT_EQ(key.units[0].count, 0);
    EXPECT_EQ(key.units[1].ch, L'q');
    EXPECT_EQ(key.units[2].ch, L'乐');
    ASSERT_EQ(key.units[2].count, 2);
    EXPECT_STREQ(search::PinyinSyllable(key.units[2].syllables[0]), "le");
    EXPECT_STREQ(search::PinyinSyllable(key.units[2].syllables[1]), "yue");
    EXPECT_EQ(key.units[3].ch, L' ');
    auto bit = [](char c) { return 1u << (c - 'a'); };
    EXPECT_EQ(key.letters, bit('q') | bit('l') | bit('e') | bit('y') | bit('u'));
    // A ü reading lets a name be found by u as well.
    EXPECT_NE(search::MakePinyinKey(L"绿").letters & bit('u'), 0u);
    EXPECT_TRUE(search::MakePinyinKey(L"").units.empty());
}

TEST(Pinyin, NamesSortByReadingThenByCharacter) {
    const std::vector<std::wstring> expected = {
        L"",        L"12306",  L"爱奇艺", L"App2", L"App10", L"QQ",   L"qq",   L"QQ音乐", L"淘宝", L"WeChat",
        L"微信",    L"WPS",    L"西安",   L"先",   L"一",    L"衣",   L"银行", L"支付宝", L"ドコモ"};
    std::vector<std::wstring> names = expected;
    std::reverse(names.begin(), names.end());
    std::rotate(names.begin(), names.begin() + 7, names.end());
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return search::ComparePinyinNames(a, b) < 0; });
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Narrow(names[i]), Narrow(expected[i])) << "at " << i;
    EXPECT_EQ(names, expected);
    // Leading zeros and case do not reorder; the names still differ.
    EXPECT_LT(search::ComparePinyinNames(L"App02", L"App2"), 0);
    EXPECT_LT(search::ComparePinyinNames(L"App2", L"App03"), 0);
    EXPECT_EQ(search::ComparePinyinNames(L"微信", L"微信"), 0);
    EXPECT_GT(search::ComparePinyinNames(L"重庆", L"长城"), 0);   // zhong after chang: the common reading
}
