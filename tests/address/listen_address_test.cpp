#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "address/line_reader.h"
#include "address/listen_address.h"

namespace joywire {
namespace {

// A console fed from a string, capturing what is written.
std::string g_input;
std::size_t g_read = 0;
std::string g_output;

Console ScriptedConsole(std::string input) {
  g_input = std::move(input);
  g_read = 0;
  g_output.clear();
  return Console{
      [] { return g_read < g_input.size() ? static_cast<unsigned char>(g_input[g_read++]) : -1; },
      [](const char* text, std::size_t length) { g_output.append(text, length); },
      [] {},
  };
}

constexpr char kPrompt[] =
    "Please enter valid Ipv4 adress of your machine or press enter to use default one";

std::string Dialogue(const std::string& input, ListenAddress& address) {
  const Console console = ScriptedConsole(input);
  address = DefaultListenAddress();
  AskListenAddress(console, address);
  return g_output;
}

TEST(Dialogue, EmptyLineUsesTheDefault) {
  ListenAddress address;
  EXPECT_EQ(Dialogue("\n", address), std::string(kPrompt) +
                                         "Using hardcoded ip address\n"
                                         "IP address for connection is 192.168.1.100\n");
  EXPECT_STREQ(address.text, kDefaultListenAddress);
}

TEST(Dialogue, DefaultIsAPrivateAddressOfValidLength) {
  const std::string text = kDefaultListenAddress;
  EXPECT_GE(text.size(), 7u);
  EXPECT_LE(text.size(), 15u);
  // 10.0.0.0/8, 172.16.0.0/12 (172.16 to 172.31) or 192.168.0.0/16.
  unsigned a = 0, b = 0;
  ASSERT_EQ(std::sscanf(kDefaultListenAddress, "%u.%u.", &a, &b), 2);
  EXPECT_TRUE(a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168)) << text;
}

TEST(Dialogue, AcceptedLinesAreCopiedAndConfirmed) {
  for (const char* line : {"10.0.0.1", "0.0.0.0", "255.255.255.255", "127.0.0.1", "1.20.199.9"}) {
    ListenAddress address;
    EXPECT_EQ(Dialogue(std::string(line) + "\n", address),
              std::string(kPrompt) + "IP address for connection is " + line + "\n");
    EXPECT_STREQ(address.text, line);
  }
}

TEST(Dialogue, SevenDigitsInARowAreRejectedByTheGroupRule) {
  ListenAddress address;
  const std::string out = Dialogue("1234567\n10.0.0.2\n", address);
  EXPECT_EQ(out, std::string(kPrompt) +
                     "Input valid ip address\n"
                     "IP address for connection is 10.0.0.2\n");
}

TEST(Dialogue, WrongLengthKeepsTheDefaultAndAsksNothingMore) {
  for (const std::string line :
       {"1.2.3", "abc", "1", "123456", "1234567890123456", "12345678901234567890123456789"}) {
    ListenAddress address;
    const std::string out = Dialogue(line + "\n10.0.0.9\n", address);
    EXPECT_EQ(out,
              std::string(kPrompt) + "Invalid length\nIP address for connection is 192.168.1.100\n")
        << line;
    EXPECT_STREQ(address.text, kDefaultListenAddress);
    EXPECT_EQ(g_read, line.size() + 1) << "the following line must stay unread";
  }
}

TEST(Dialogue, BadCharactersOrNoAddressAskAgainWithoutThePrompt) {
  // The second row passes the character scan but would convert to another address than typed.
  for (const char* bad : {"1234.5.6.7", ".1.2.3.4", "1..2.3.4", " 1.2.3.4", "10.0.0.a", "a.b.c.d",
                          "1.2.3.4 ", "1,2,3,4", "-1.2.3.4", "999.1.1.1", "1.2.3.256", "1.2.3.4.5",
                          "999.999.9", "12.34.56.", "1.2.3.4.", "010.0.0.1", "10.0.00.1"}) {
    ListenAddress address;
    const std::string out = Dialogue(std::string(bad) + "\n" + bad + "\n10.0.0.7\n", address);
    EXPECT_EQ(out, std::string(kPrompt) +
                       "Input valid ip address\nInput valid ip address\n"
                       "IP address for connection is 10.0.0.7\n")
        << bad;
    EXPECT_STREQ(address.text, "10.0.0.7");
  }
}

TEST(Dialogue, LongLineIsConsumedWhole) {
  // 40 characters: past the line buffer; its tail must not come back as another line.
  const std::string longLine = "1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.12";
  ListenAddress address;
  const std::string out = Dialogue(longLine + "\n10.0.0.3\n", address);
  EXPECT_EQ(out,
            std::string(kPrompt) + "Invalid length\nIP address for connection is 192.168.1.100\n");
  EXPECT_EQ(g_read, longLine.size() + 1);
  EXPECT_STREQ(address.text, kDefaultListenAddress);
}

TEST(Dialogue, CarriageReturnLineEndsAreNotPartOfTheLine) {
  ListenAddress address;
  EXPECT_EQ(Dialogue("10.0.0.1\r\n", address),
            std::string(kPrompt) + "IP address for connection is 10.0.0.1\n");
  EXPECT_STREQ(address.text, "10.0.0.1");
  EXPECT_EQ(Dialogue("\r\n", address), std::string(kPrompt) +
                                           "Using hardcoded ip address\n"
                                           "IP address for connection is 192.168.1.100\n");
  // A carriage return inside the line is an ordinary (bad) character.
  EXPECT_EQ(Dialogue("10.0\r.0.1\n\n", address),
            std::string(kPrompt) +
                "Input valid ip address\nUsing hardcoded ip address\n"
                "IP address for connection is 192.168.1.100\n");
}

TEST(Dialogue, EndOfInputEndsTheDialogue) {
  ListenAddress address;
  // Nothing at all: an empty line.
  EXPECT_EQ(Dialogue("", address), std::string(kPrompt) +
                                       "Using hardcoded ip address\n"
                                       "IP address for connection is 192.168.1.100\n");
  // A last line without a line end still counts.
  EXPECT_EQ(Dialogue("10.9.8.7", address),
            std::string(kPrompt) + "IP address for connection is 10.9.8.7\n");
  // Bad lines then the end: asked again once, then the end counts as an empty line.
  EXPECT_EQ(Dialogue("a.b.c.d.e\n", address),
            std::string(kPrompt) +
                "Input valid ip address\nUsing hardcoded ip address\n"
                "IP address for connection is 192.168.1.100\n");
}

TEST(Dialogue, NulByteIsABadCharacter) {
  ListenAddress address;
  const std::string out = Dialogue(std::string("10.0\0.0.1\n", 10) + "\n", address);
  EXPECT_EQ(out, std::string(kPrompt) +
                     "Input valid ip address\nUsing hardcoded ip address\n"
                     "IP address for connection is 192.168.1.100\n");
}

TEST(LineReader, StoresWhatFitsAndReportsTheWholeLength) {
  char buffer[8];
  const Console console = ScriptedConsole("abcdefghijkl\nxy\r\n\n");
  EXPECT_EQ(ReadConsoleLine(console, buffer, sizeof buffer), 12u);
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_EQ(ReadConsoleLine(console, buffer, sizeof buffer), 2u);
  EXPECT_STREQ(buffer, "xy");
  EXPECT_EQ(ReadConsoleLine(console, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(ReadConsoleLine(console, buffer, sizeof buffer), 0u);  // end of input
}

TEST(LineReader, ExactlyFullLineKeepsItsTerminator) {
  char buffer[8];
  buffer[7] = 'Z';
  const Console console = ScriptedConsole("1234567\n");
  EXPECT_EQ(ReadConsoleLine(console, buffer, sizeof buffer), 7u);
  EXPECT_STREQ(buffer, "1234567");
}

// Print takes %d, %s and %%, and writes them as snprintf does, a line of any length whole.
#define EXPECT_PRINTS_AS_SNPRINTF(...)                     \
  do {                                                     \
    char expected[640];                                    \
    std::snprintf(expected, sizeof expected, __VA_ARGS__); \
    Print(ScriptedConsole(""), __VA_ARGS__);               \
    EXPECT_EQ(g_output, expected);                         \
  } while (false)

// Any other conversion, or an argument that does not fit its conversion, does not compile.
constexpr char kNumberThenText[] = {'d', 's'};
static_assert(FormatFits("error %d on %s: 100%%\n", kNumberThenText, 2) &&
              !FormatFits("%x %s", kNumberThenText, 2) &&
              !FormatFits("%s %d", kNumberThenText, 2) && !FormatFits("%d", kNumberThenText, 2) &&
              !FormatFits("%d %s %d", kNumberThenText, 2) &&
              !FormatFits("%n%s", kNumberThenText, 2) && !FormatFits("%5d %s", kNumberThenText, 2));
static_assert(kConversionFor<long> == '?' && kConversionFor<double> == '?' &&
              kConversionFor<const wchar_t*> == '?' && kConversionFor<char*> == 's');

TEST(Print, WritesWhatSnprintfWrites) {
  EXPECT_PRINTS_AS_SNPRINTF("Binding Failed & Error No ->%d\n", 10048);
  EXPECT_PRINTS_AS_SNPRINTF("%d|%d|%d|%d|%s|%s%%", -2147483647 - 1, 2147483647, 0, -7, "", "x");
  const std::string wide(600, 'w');  // more than the writer's buffer, in one line
  EXPECT_PRINTS_AS_SNPRINTF("Stringova cast: %s \n", wide.c_str());
}

}  // namespace
}  // namespace joywire
