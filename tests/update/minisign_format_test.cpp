// minisign's key and signature formats, read strictly, and the choice of the update key. Pure:
// also built natively with the sanitizers. The signatures' cryptography is shown end to end with
// the real minisign tool in signed_update_test.
#include <gtest/gtest.h>

#include <tuple>

#include "MinisignFormat.h"
#include "UpdateOutcome.h"
#include "UpdateTrust.h"

namespace {

// A public key line and a signature file as minisign writes them (of the 5 bytes "hello"), and
// another key.
const std::string kKey = "RWQER2uUw9fE2cYZXKRaxHFcPsYTyZD/GBohXdMa2FexosITdA4ILjNl";
const std::string kSignatureLine =
    "RUQER2uUw9fE2QDbrGL/Imh5dNWqzZdmnI5Jq8X/TMuvyz4MnoPzlzEX7zHlhy3+i63hkVIPjoQac+U17KQYxktIZzyaSHc/TQg=";
const std::string kOtherKey = "RWSEvPafQ8n9GmkAMFImumOJ165wAVKZxNRS+1okb/dg+Ypz3ii610VI";
const std::string kGlobalLine =
    "OJp4arGKo1p48WmbbSPRwvFa+FNgu9HnyVtuQfULlEGef4sId2zy8fbPIDZeJsQmmyKLVjZOOHsEl7VQOrqaCA==";

std::string SignatureFile(const std::string& lineEnd = "\n",
                          const std::string& comment = "timestamp:1700000000\tfile:a") {
  return "untrusted comment: signature from minisign secret key" + lineEnd + kSignatureLine + lineEnd +
         "trusted comment: " + comment + lineEnd + kGlobalLine + lineEnd;
}

TEST(MinisignFormat, KeyLineGivesItsIdAndKey) {
  const auto key = ParseMinisignKey(kKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(KeyIdText(key->id), "D9C4D7C3946B4704");
  for (const std::string& bad : {std::string(), kKey.substr(1), kKey + "A", kKey + "====",
                                 "RUQ" + kKey.substr(3),  // "ED" is a signature's algorithm, not a key's
                                 kKey.substr(0, 55) + "!", " " + kKey.substr(1)}) {
    EXPECT_FALSE(ParseMinisignKey(bad)) << bad;
  }
}

TEST(MinisignFormat, SignatureFileInEitherLineEnd) {
  for (const char* end : {"\n", "\r\n"}) {
    const auto signature = ParseMinisignSignature(SignatureFile(end));
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->signedData, SignedData::Blake2b512OfFile);
    EXPECT_EQ(KeyIdText(signature->keyId), "D9C4D7C3946B4704");
    EXPECT_EQ(signature->trustedComment, "timestamp:1700000000\tfile:a");
  }
  std::string noLastEnd = SignatureFile();
  noLastEnd.pop_back();
  EXPECT_TRUE(ParseMinisignSignature(noLastEnd));
  std::string legacy = SignatureFile();
  legacy[legacy.find(kSignatureLine) + 1] = 'W';  // "RUQ" begins "ED", "RWQ" begins "Ed"
  const auto legacySignature = ParseMinisignSignature(legacy);
  ASSERT_TRUE(legacySignature);
  EXPECT_EQ(legacySignature->signedData, SignedData::File);
}

TEST(MinisignFormat, AnythingElseIsNoSignature) {
  const std::string good = SignatureFile();
  const std::vector<std::string> bad = {
      "",
      good.substr(0, good.size() / 2),
      good + "\n",
      good + "fifth line\n",
      "untrusted comment:x\n" + good.substr(good.find('\n') + 1),
      good.substr(0, good.find("trusted comment: ", 5)) + "Trusted comment: x\n" + kGlobalLine + "\n",
      good.substr(0, good.find('\n') + 1) + "RUU" + good.substr(good.find('\n') + 4),  // algorithm "EE"
      good.substr(0, good.find(kGlobalLine)) + kGlobalLine.substr(4) + "\n",
      SignatureFile("\n", std::string("time\0stamp", 10)),
      SignatureFile("\n", std::string(kMaxSignatureFileSize, 'x')),
  };
  for (const std::string& file : bad) EXPECT_FALSE(ParseMinisignSignature(file)) << testing::PrintToString(file);
}

TEST(MinisignFormat, TimestampIsTheFirstTimestampField) {
  const std::vector<std::pair<std::string, std::optional<uint64_t>>> cases = {
      {"timestamp:1700000000\tfile:update.zip\thashed", 1700000000},
      {"file:update.zip\ttimestamp:42", 42},
      {"timestamp:18446744073709551615", UINT64_MAX},
      {"timestamp:18446744073709551616", std::nullopt},
      {"timestamp:", std::nullopt},
      {"timestamp:12a", std::nullopt},
      {"timestamp: 12", std::nullopt},
      {"release timestamp:12", std::nullopt},
      {"timestamp:7\ttimestamp:9", 7},
      {"", std::nullopt},
  };
  for (const auto& [comment, seconds] : cases) EXPECT_EQ(TrustedTimestamp(comment), seconds) << comment;
}

TEST(MinisignFormat, ForeignProductIsAnyProductFieldThatIsNotExactlyOurs) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"timestamp:7\tfile:update.zip", std::nullopt},
      {"timestamp:7\tproduct:demo\tversion:2.0", std::nullopt},
      {"product:demo\tproduct:demo", std::nullopt},
      {"timestamp:7\tproduct:Demo", "Demo"},
      {"product:demo \tversion:2.0", "demo "},
      {"product:demo\tproduct:other", "other"},
      {"product:", ""},
      {"products:x\tmy product:x", std::nullopt},
  };
  for (const auto& [comment, foreign] : cases) {
    const auto found = ForeignProduct(comment, "demo");
    EXPECT_EQ(found ? std::optional<std::string>(*found) : std::nullopt, foreign) << comment;
  }
  EXPECT_EQ(ForeignProduct("product:", ""), std::optional<std::string_view>(""));
}

TEST(UpdateTrust, ProductIsTheAsciiProtocolAndRefusalsNameTheFloorAndTheProduct) {
  EXPECT_EQ(DecideUpdateTrust("", L"", 5, L"demo").product, "demo");
  EXPECT_EQ(DecideUpdateTrust("", L"", 5, L"d\x00e9mo").product, "");
  EXPECT_EQ(DecideUpdateTrust("", L"", 5, L"demo").floor, 5u);
  UpdateVerdict verdict;
  verdict.refusal = UpdateRefusal::OlderThanFloor;
  verdict.timestamp = 1500000000;
  verdict.floor = 1600000000;
  EXPECT_EQ(RefusalRecord(verdict),
            "update refused: older than the launcher's floor (timestamp 1500000000 < 1600000000)");
  verdict.refusal = UpdateRefusal::OtherProduct;
  verdict.signedProduct = "a\rb" + std::string(70, 'x');
  EXPECT_EQ(RefusalRecord(verdict),
            "update refused: signed for another product (product:a?b" + std::string(61, 'x') + "...)");
}

TEST(UpdateTrust, CompiledKeyWinsAndAMalformedKeyStillRequiresASignature) {
  const std::wstring configured(kKey.begin(), kKey.end());
  EXPECT_FALSE(DecideUpdateTrust("", L"").signatureRequired);
  const UpdateTrust fromConfig = DecideUpdateTrust("", configured);
  EXPECT_TRUE(fromConfig.signatureRequired && fromConfig.key && !fromConfig.compiledIn);
  const UpdateTrust compiled = DecideUpdateTrust(kOtherKey, configured);
  EXPECT_TRUE(compiled.signatureRequired && compiled.compiledIn);
  EXPECT_NE(compiled.key->id, fromConfig.key->id);
  for (const std::wstring& malformed : {std::wstring(L"x"), configured + L" ", L"\x00e9" + configured.substr(1)}) {
    const UpdateTrust trust = DecideUpdateTrust("", malformed);
    EXPECT_TRUE(trust.signatureRequired && !trust.key);
  }
  EXPECT_FALSE(DecideUpdateTrust("not a key", configured).key);
  // Staging asks only whether a signature is required, and must get the same answer.
  for (const std::string_view compiledKey : {std::string_view(), std::string_view(kOtherKey), std::string_view("x")}) {
    for (const std::wstring& configuredKey : {std::wstring(), configured, std::wstring(L"x")}) {
      EXPECT_EQ(UpdateSignatureRequired(compiledKey, configuredKey),
                DecideUpdateTrust(compiledKey, configuredKey).signatureRequired);
    }
  }
}

// What a judged pass leaves for the client's updater: the line for each end, and none while the
// archive waits or no signature was asked for.
TEST(UpdateOutcome, LineForEachEndOfAPass) {
  UpdateVerdict accepted;
  accepted.checked = true;
  accepted.timestamp = 1800000000;
  accepted.signedVersion = "2.0.1";
  UpdateVerdict older = accepted;
  older.refusal = UpdateRefusal::OlderThanInstalled;
  UpdateVerdict unsigned_ = accepted;
  unsigned_.refusal = UpdateRefusal::NoSignature;
  unsigned_.timestamp = 0;
  UpdateVerdict undecided = accepted;
  undecided.undecided = true;
  UpdateVerdict breaking = accepted;
  breaking.signedVersion = "2.0\tinstalled";
  const std::string hash(64, 'a');
  const std::tuple<UpdateVerdict, PassEnd, std::optional<std::string>> cases[] = {
      {accepted, PassEnd::Installed, "installed\t1800000000\t2.0.1\n"},
      {accepted, PassEnd::NotAnArchive, "refused\t1800000000\tmalformed\t" + hash + "\n"},
      {accepted, PassEnd::Waits, std::nullopt},
      {older, PassEnd::NotAnArchive, "refused\t1800000000\tolder\t" + hash + "\n"},
      {unsigned_, PassEnd::NotAnArchive, "refused\t0\tunsigned\t" + hash + "\n"},
      {undecided, PassEnd::Waits, std::nullopt},
      {UpdateVerdict(), PassEnd::Installed, std::nullopt},
      {breaking, PassEnd::Installed, "installed\t1800000000\t\n"},
  };
  for (const auto& [verdict, end, line] : cases) {
    const std::optional<UpdateOutcome> outcome = JudgedOutcome(verdict, end, hash);
    EXPECT_EQ(outcome ? std::optional<std::string>(OutcomeLine(*outcome)) : std::nullopt, line)
        << testing::PrintToString(line);
  }
  EXPECT_EQ(TrustedVersion("timestamp:7\tproduct:demo\tversion:2.0.1"), std::optional<std::string_view>("2.0.1"));
  EXPECT_EQ(TrustedVersion("timestamp:7\tversions:2"), std::nullopt);
  const std::string abc = "abc";
  EXPECT_EQ(Sha256Hex(abc.size(),
                      [&abc](uint64_t offset, void* buffer, size_t size) {
                        return abc.copy(static_cast<char*>(buffer), size, static_cast<size_t>(offset));
                      }),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(10, [](uint64_t, void*, size_t) { return size_t{0}; }), "");
}

}  // namespace
