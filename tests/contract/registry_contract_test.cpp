// The registry as every adapter of the port must show it.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/port_fixture.h"

namespace tmby::testing {
namespace {

using platform::RegValueType;
using platform::RootKey;
namespace err = platform::err;

using RegistryContract = PortContract;
TMBY_PORT_CONTRACT(RegistryContract);

std::vector<std::string> Sorted(std::vector<std::string> names) {
  for (auto& n : names) {
    std::transform(n.begin(), n.end(), n.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_P(RegistryContract, RootNumbersAreTheSixRootKeys) {
  for (int n = 0; n <= 5; ++n) {
    ASSERT_TRUE(platform::RootKeyFromNumber(n)) << n;
    EXPECT_EQ(static_cast<int>(*platform::RootKeyFromNumber(n)), n);
  }
  EXPECT_FALSE(platform::RootKeyFromNumber(6));
  EXPECT_FALSE(platform::RootKeyFromNumber(-1));
  EXPECT_STREQ(platform::RootKeyName(RootKey::LocalMachine), "HKEY_LOCAL_MACHINE");

  // Every root that Windows NT keeps takes keys and values; HKEY_DYN_DATA exists on 9x only.
  for (RootKey root : {RootKey::ClassesRoot, RootKey::CurrentConfig, RootKey::CurrentUser,
                       RootKey::LocalMachine, RootKey::Users}) {
    SCOPED_TRACE(platform::RootKeyName(root));
    ASSERT_TRUE(Reg().KeyExists(root, ""));
    const std::string key = TestKey(root);
    ASSERT_TRUE(Reg().CreateKey(root, key)) << Reg().LastError();
    ASSERT_TRUE(Reg().WriteInteger(root, key, "Root", static_cast<uint32_t>(root)));
    EXPECT_EQ(Reg().ReadInteger(root, key, "Root"), static_cast<uint32_t>(root));
  }
}

TEST_P(RegistryContract, MissingKeysAndValuesReadAsNothing) {
  const std::string key = TestKey();
  const std::string missing = key + "\\Missing\\Deeper";
  EXPECT_FALSE(Reg().KeyExists(RootKey::CurrentUser, missing));
  EXPECT_FALSE(Reg().ReadString(RootKey::CurrentUser, missing, "v"));
  EXPECT_EQ(Reg().LastError(), err::kFileNotFound);
  EXPECT_FALSE(Reg().ReadInteger(RootKey::CurrentUser, missing, "v"));
  EXPECT_FALSE(Reg().ReadBinary(RootKey::CurrentUser, missing, "v"));
  EXPECT_FALSE(Reg().ValueType(RootKey::CurrentUser, missing, "v"));
  EXPECT_FALSE(Reg().EnumKeys(RootKey::CurrentUser, missing));
  EXPECT_FALSE(Reg().EnumValues(RootKey::CurrentUser, missing));
  EXPECT_FALSE(Reg().DeleteKey(RootKey::CurrentUser, missing));
  EXPECT_FALSE(Reg().DeleteValue(RootKey::CurrentUser, missing, "v"));
  // Writes need the key; none of this created it.
  EXPECT_FALSE(Reg().WriteString(RootKey::CurrentUser, missing, "v", "x"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::CurrentUser, key + "\\Missing"));

  // Key paths are relative to the root: a leading backslash is refused.
  EXPECT_FALSE(Reg().KeyExists(RootKey::CurrentUser, "\\Software"));
  EXPECT_EQ(Reg().LastError(), err::kBadPathname);
  EXPECT_FALSE(Reg().CreateKey(RootKey::CurrentUser, "\\" + key));
  EXPECT_FALSE(Reg().KeyExists(RootKey::CurrentUser, key));

  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key));
  EXPECT_FALSE(Reg().ReadString(RootKey::CurrentUser, key, "absent"));
  EXPECT_EQ(Reg().LastError(), err::kFileNotFound);
  EXPECT_FALSE(Reg().ReadInteger(RootKey::CurrentUser, key, "absent"));
  EXPECT_FALSE(Reg().DeleteValue(RootKey::CurrentUser, key, "absent"));
  EXPECT_EQ(Reg().EnumValues(RootKey::CurrentUser, key)->size(), 0u);
}

TEST_P(RegistryContract, CreateKeyMakesEveryParent) {
  const std::string key = TestKey();
  const std::string deep = key + "\\One\\Two\\Three";
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, deep));
  EXPECT_TRUE(Reg().KeyExists(RootKey::CurrentUser, key + "\\One\\Two"));
  EXPECT_TRUE(Reg().CreateKey(RootKey::CurrentUser, deep));  // again: fine
  EXPECT_TRUE(Reg().KeyExists(RootKey::CurrentUser, deep + "\\"));
}

// A name whose bytes are no UTF-8 may be refused or stand for a key of its own, but never turns
// into the empty name, which is the key itself (or the default value).
TEST_P(RegistryContract, AnIllFormedNameNeverNamesTheKeyItself) {
  const std::string key = TestKey();
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "Keep", "kept"));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "", "default"));
  for (const std::string bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80"}) {
    SCOPED_TRACE(::testing::PrintToString(bad));
    Reg().CreateKey(RootKey::CurrentUser, key + "\\" + bad);
    EXPECT_FALSE(Reg().ValueType(RootKey::CurrentUser, key + "\\" + bad, "Keep"));
    Reg().WriteString(RootKey::CurrentUser, key, bad, "written");
    Reg().DeleteKey(RootKey::CurrentUser, key + "\\" + bad);
    Reg().DeleteValue(RootKey::CurrentUser, key, bad);
    ASSERT_TRUE(Reg().KeyExists(RootKey::CurrentUser, key));
    EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, "Keep"), "kept");
    EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, ""), "default");
  }
}

TEST_P(RegistryContract, TypedValuesRoundTrip) {
  const std::string key = TestKey();
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key));
  std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xD0\x9C\xD0\xB8\xD1\x80";  // "Grüße Мир"
  if (UnderTest().NineXApi()) {
    // The ANSI code page of Western Windows holds no Cyrillic: the value is not written at all,
    // rather than as "Grüße ???".
    EXPECT_FALSE(Reg().WriteString(RootKey::CurrentUser, key, "Text", text));
    EXPECT_EQ(Reg().LastError(), err::kNoUnicodeTranslation);
    EXPECT_FALSE(Reg().ValueType(RootKey::CurrentUser, key, "Text"));
    text =
        "Gr\xC3\xBC\xC3\x9F"
        "e";
  }
  const std::vector<uint8_t> bytes = {0x00, 0xFF, 0x10, 0x00, 0x7F, 0x80, 0x00, 0x01};
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "Text", text));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "Path", "%WINDIR%\\x", true));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "Empty", ""));
  ASSERT_TRUE(Reg().WriteInteger(RootKey::CurrentUser, key, "Max", 0xFFFFFFFFu));
  ASSERT_TRUE(Reg().WriteInteger(RootKey::CurrentUser, key, "Zero", 0));
  ASSERT_TRUE(Reg().WriteBinary(RootKey::CurrentUser, key, "Bytes", bytes));
  ASSERT_TRUE(Reg().WriteBinary(RootKey::CurrentUser, key, "NoBytes", {}));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "", "default value"));

  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, "Text"), text);
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, "Path"), "%WINDIR%\\x");  // unexpanded
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, "Empty"), "");
  EXPECT_EQ(Reg().ReadInteger(RootKey::CurrentUser, key, "Max"), 0xFFFFFFFFu);
  EXPECT_EQ(Reg().ReadInteger(RootKey::CurrentUser, key, "Zero"), 0u);
  EXPECT_EQ(Reg().ReadBinary(RootKey::CurrentUser, key, "Bytes"), bytes);
  EXPECT_EQ(Reg().ReadBinary(RootKey::CurrentUser, key, "NoBytes"), std::vector<uint8_t>());
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, ""), "default value");

  EXPECT_EQ(Reg().ValueType(RootKey::CurrentUser, key, "Text"), RegValueType::String);
  EXPECT_EQ(Reg().ValueType(RootKey::CurrentUser, key, "Path"), RegValueType::ExpandString);
  EXPECT_EQ(Reg().ValueType(RootKey::CurrentUser, key, "Max"), RegValueType::Integer);
  EXPECT_EQ(Reg().ValueType(RootKey::CurrentUser, key, "Bytes"), RegValueType::Binary);

  // Writing again replaces the value and its type.
  ASSERT_TRUE(Reg().WriteInteger(RootKey::CurrentUser, key, "Text", 5));
  EXPECT_EQ(Reg().ValueType(RootKey::CurrentUser, key, "Text"), RegValueType::Integer);
  EXPECT_EQ(Reg().ReadInteger(RootKey::CurrentUser, key, "Text"), 5u);
}

TEST_P(RegistryContract, AValueOfAnotherTypeReadsAsNothing) {
  const std::string key = TestKey();
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "S", "12"));
  ASSERT_TRUE(Reg().WriteInteger(RootKey::CurrentUser, key, "I", 12));
  ASSERT_TRUE(Reg().WriteBinary(RootKey::CurrentUser, key, "B", {1, 2, 3, 4}));
  EXPECT_FALSE(Reg().ReadInteger(RootKey::CurrentUser, key, "S"));
  EXPECT_FALSE(Reg().ReadBinary(RootKey::CurrentUser, key, "S"));
  EXPECT_FALSE(Reg().ReadString(RootKey::CurrentUser, key, "I"));
  EXPECT_FALSE(Reg().ReadBinary(RootKey::CurrentUser, key, "I"));
  EXPECT_FALSE(Reg().ReadString(RootKey::CurrentUser, key, "B"));
  EXPECT_FALSE(Reg().ReadInteger(RootKey::CurrentUser, key, "B"));  // four bytes, still binary
}

TEST_P(RegistryContract, NamesIgnoreCase) {
  const std::string key = TestKey();
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key + "\\MixedCase"));
  EXPECT_TRUE(Reg().KeyExists(RootKey::CurrentUser, key + "\\MIXEDCASE"));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key + "\\mixedcase", "Value", "v"));
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key + "\\MixedCase", "VALUE"), "v");
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key + "\\MixedCase", "value", "w"));
  EXPECT_EQ(Reg().EnumValues(RootKey::CurrentUser, key + "\\MixedCase")->size(), 1u);
  EXPECT_EQ(Reg().EnumKeys(RootKey::CurrentUser, key), std::vector<std::string>{"MixedCase"});
}

TEST_P(RegistryContract, EnumeratesDirectSubkeysAndValues) {
  const std::string key = TestKey();
  for (const char* sub : {"Alpha", "beta", "Gamma\\Inner"}) {
    ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key + "\\" + sub));
  }
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "One", "1"));
  ASSERT_TRUE(Reg().WriteInteger(RootKey::CurrentUser, key, "Two", 2));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "", "default"));
  EXPECT_EQ(Sorted(*Reg().EnumKeys(RootKey::CurrentUser, key)),
            (std::vector<std::string>{"ALPHA", "BETA", "GAMMA"}));
  EXPECT_EQ(Sorted(*Reg().EnumValues(RootKey::CurrentUser, key)),
            (std::vector<std::string>{"", "ONE", "TWO"}));
  EXPECT_EQ(Reg().EnumKeys(RootKey::CurrentUser, key + "\\Alpha")->size(), 0u);
}

TEST_P(RegistryContract, DeleteKeyRefusesAKeyWithSubkeys) {
  const std::string key = TestKey();
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key + "\\Parent\\Child"));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key + "\\Parent\\Child", "v", "kept"));
  EXPECT_FALSE(Reg().DeleteKey(RootKey::CurrentUser, key + "\\Parent"));
  EXPECT_EQ(Reg().LastError(), err::kAccessDenied);
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key + "\\Parent\\Child", "v"), "kept");

  // Leaf first, then the parent.
  EXPECT_TRUE(Reg().DeleteKey(RootKey::CurrentUser, key + "\\Parent\\Child"));
  EXPECT_TRUE(Reg().DeleteKey(RootKey::CurrentUser, key + "\\Parent"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::CurrentUser, key + "\\Parent"));
  EXPECT_FALSE(Reg().DeleteKey(RootKey::CurrentUser, key + "\\Parent"));
  EXPECT_EQ(Reg().LastError(), err::kFileNotFound);
  // A root key is never deleted.
  EXPECT_FALSE(Reg().DeleteKey(RootKey::CurrentUser, ""));
  EXPECT_TRUE(Reg().KeyExists(RootKey::CurrentUser, "Software"));
}

TEST_P(RegistryContract, DeleteValueRemovesOnlyThatValue) {
  const std::string key = TestKey();
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "Gone", "x"));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "Kept", "y"));
  EXPECT_TRUE(Reg().DeleteValue(RootKey::CurrentUser, key, "GONE"));
  EXPECT_FALSE(Reg().ValueType(RootKey::CurrentUser, key, "Gone"));
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, "Kept"), "y");
}

TEST_P(RegistryContract, LazyWriteIsAFlagThatKeepsWritesWorking) {
  const std::string key = TestKey();
  EXPECT_TRUE(Reg().LazyWrite());
  Reg().SetLazyWrite(false);
  EXPECT_FALSE(Reg().LazyWrite());
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, key));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, key, "Flushed", "now"));
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, key, "Flushed"), "now");
  EXPECT_TRUE(Reg().DeleteValue(RootKey::CurrentUser, key, "Flushed"));
  Reg().SetLazyWrite(true);
  EXPECT_TRUE(Reg().LazyWrite());
}

}  // namespace
}  // namespace tmby::testing
