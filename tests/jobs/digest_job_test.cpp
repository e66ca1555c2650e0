// The digest jobs and the keyed jobs through the exports, from memory and from files, against the
// digest contexts (themselves checked against known answers and, natively, OpenSSL) and the RFCs' cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "codec/hex.h"
#include "digest/blake2.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "jobs/api.h"
#include "jobs/job_kinds.h"
#include "support/hmac_vectors.h"
#include "support/test_support.h"

namespace telvarn::test {
namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

template <class Context>
std::string PortableText(const std::string& message) {
  Context context(*Context::kKernels.begin());
  context.Update(Bytes(message), message.size());
  return context.Finish();
}

// XXH3-64 and XXH3-128 of the whole message by xxHash's one-shot functions, in the
// jobs' text: upper case, the 128-bit value high half first.
std::string Xxh3_64Text(const std::string& message) {
  std::string text(16, '\0');
  WriteHexUpper(XXH3_64bits(message.data(), message.size()), 16, text.data());
  return text;
}
std::string Xxh3_128Text(const std::string& message) {
  const XXH128_hash_t hash = XXH3_128bits(message.data(), message.size());
  std::string text(32, '\0');
  WriteHexUpper(hash.high64, 16, text.data());
  WriteHexUpper(hash.low64, 16, text.data() + 16);
  return text;
}

// The digests of the MD5, SHA-2 and SHA-3 families by the names the Digest export's
// table gives them, each on its portable block function, and XXH3 by xxHash itself.
std::map<std::string, std::string> Reference(const std::string& message) {
  Md5Context md5;
  md5.Update(Bytes(message), message.size());
  return {{"BLAKE2b-512", ReferenceBlake2<Blake2bContext>("", message)},
          {"BLAKE2s-256", ReferenceBlake2<Blake2sContext>("", message)},
          {"XXH3-64", Xxh3_64Text(message)},
          {"XXH3-128", Xxh3_128Text(message)},
          {"MD5", md5.HexDigest()},
          {"SHA-1", PortableText<Sha1Context>(message)},
          {"SHA-224", PortableText<Sha224Context>(message)},
          {"SHA-256", PortableText<Sha256Context>(message)},
          {"SHA-384", PortableText<Sha384Context>(message)},
          {"SHA-512", PortableText<Sha512Context>(message)},
          {"SHA-512/224", PortableText<Sha512_224Context>(message)},
          {"SHA-512/256", PortableText<Sha512_256Context>(message)},
          {"SHA3-224", PortableText<Sha3_224Context>(message)},
          {"SHA3-256", PortableText<Sha3_256Context>(message)},
          {"SHA3-384", PortableText<Sha3_384Context>(message)},
          {"SHA3-512", PortableText<Sha3_512Context>(message)}};
}

// The key as the IO's key area holds it, cut at 4095 bytes and followed by zeros.
std::string KeyArea(const std::string& key) {
  std::string area = key.substr(0, 4095);
  area.resize(4096, '\0');
  return area;
}

class DigestJobTest : public ExportTest {
 protected:
  // Runs one job synchronously on the message from memory into memory, and from a
  // file into a file; both texts must be `expected`, and exactly its characters.
  void ExpectJob(JobExport job, const std::string& message, const std::string& expected,
                 const char* what) {
    int32_t io = NewIo();
    ASSERT_EQ(api.key_set(key_.c_str(), io, 0, 0), 0);
    ASSERT_EQ(api.input_set(Var(message.data()), io, TELVARN_MODE_MEMORY, static_cast<int32_t>(message.size())), 0);
    auto out = std::make_unique<char[]>(200);
    std::memset(out.get(), '#', 200);
    out[199] = '\0';
    ASSERT_EQ(api.output_set(Var(out.get()), io, TELVARN_MODE_MEMORY, 0), 0);
    ASSERT_EQ(job(io, TELVARN_RUN_NOW, 3, 0), 0);
    EXPECT_EQ(std::string(out.get(), expected.size()), expected) << what << ", memory";
    EXPECT_EQ(out[expected.size()], '#') << what;

    const std::string in_path = dir_.path("in.bin"), out_path = dir_.path("out.txt");
    WriteFile(in_path, message);
    ASSERT_EQ(api.input_set(Var(in_path.c_str()), io, TELVARN_MODE_FILE, 0), 0);
    ASSERT_EQ(api.output_set(Var(out_path.c_str()), io, TELVARN_MODE_FILE, 0), 0);
    ASSERT_EQ(job(io, TELVARN_RUN_NOW, 3, 0), 0);
    EXPECT_EQ(ReadFile(out_path), expected) << what << ", file";
  }
  void ExpectKeyedJob(const JobUnderTest& job, const std::string& message) {
    ExpectJob(job.run, message, job.reference(KeyArea(key_), message), job.name);
  }
  void ExpectAllJobs(const std::string& message) {
    if (message.empty()) return;  // length 0 would mean "up to the first NUL"
    std::map<std::string, std::string> e = Reference(message);
    ExpectJob(api.md5, message, e["MD5"], "MD5");
    ExpectJob(api.sha1, message, e["SHA-1"], "SHA-1");
    ExpectJob(api.sha256, message, e["SHA-256"], "SHA-256");
    ExpectJob(api.sha512, message, e["SHA-512"], "SHA-512");
    for (const JobUnderTest& job : EveryDoorJob(api)) {
      const auto expected = e.find(std::string(job.name).substr(std::strlen("Digest ")));
      if (expected != e.end()) ExpectJob(job.run, message, expected->second, job.name);
    }
    for (const JobUnderTest& job : KeyedJobs(api)) ExpectKeyedJob(job, message);
  }

  std::string key_ = "Jefe";
  TempDir dir_;
};

TEST_F(DigestJobTest, KnownAnswersThroughTheJobs) {
  int32_t io = NewIo();
  EXPECT_EQ(RunNow(api.md5, io, "abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(RunNow(api.sha1, io, "abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(RunNow(api.sha256, io, "abc"),
            "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
  EXPECT_EQ(RunNow(api.sha512, io, "abc"),
            "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
            "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F");
  ASSERT_EQ(api.key_set("Jefe", io, 0, 0), 0);
  EXPECT_EQ(RunNow(api.md5_key, io, "what do ya want for nothing?", 39),
            "750c783e6ab0b503eaa86e310a5db738")
      << "RFC 2202, test case 2";
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// Every case of RFC 2202 (HMAC-SHA-1) and RFC 4231 (HMAC-SHA-256 and -512), the key
// set with IO_Key_Set and the data bound as memory input: the digests in upper
// case, the truncated case compared on its listed digits.
TEST_F(DigestJobTest, RfcTestCasesThroughTheKeyedJobs) {
  const auto expect = [&](JobExport job, const std::string& key, const std::string& data, const char* digest,
                          const char* source) {
    const int32_t io = NewIo();
    ASSERT_EQ(api.key_set(key.data(), io, static_cast<int32_t>(key.size()), 0), 0);
    ASSERT_EQ(api.input_set(Var(data.data()), io, TELVARN_MODE_MEMORY, static_cast<int32_t>(data.size())), 0);
    char out[130];
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(api.output_set(Var(out), io, TELVARN_MODE_MEMORY, 129), 0);
    ASSERT_EQ(job(io, TELVARN_RUN_NOW, 0, 0), 0);
    EXPECT_EQ(std::string(out, std::strlen(digest)), Upper(digest)) << source;
  };
  for (const HmacSha1Case& c : Rfc2202Sha1Cases()) expect(api.sha1_key, c.key, c.data, c.sha1, c.source);
  for (const HmacSha2Case& c : Rfc4231Cases()) {
    expect(api.sha256_key, c.key, c.data, c.sha256, c.source);
    expect(api.sha512_key, c.key, c.data, c.sha512, c.source);
    expect(JobExport(api.digest, TELVARN_ALGORITHM_SHA224, true), c.key, c.data, c.sha224, c.source);
    expect(JobExport(api.digest, TELVARN_ALGORITHM_SHA256, true), c.key, c.data, c.sha256, c.source);
    expect(JobExport(api.digest, TELVARN_ALGORITHM_SHA384, true), c.key, c.data, c.sha384, c.source);
    expect(JobExport(api.digest, TELVARN_ALGORITHM_SHA512, true), c.key, c.data, c.sha512, c.source);
  }
}

// The FIPS 180-4 and FIPS 202 examples and the CRC check values of the digests that
// have no export of their own.
TEST_F(DigestJobTest, KnownAnswersThroughTheDigestExport) {
  const int32_t io = NewIo();
  const auto door = [&](int32_t algorithm) { return JobExport(api.digest, algorithm, false); };
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_SHA224), io, "abc"),
            "23097D223405D8228642A477BDA255B32AADBCE4BDA0B3F7E36C9DA7");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_SHA384), io, "abc"),
            "CB00753F45A35E8BB5A03D699AC65007272C32AB0EDED1631A8B605A43FF5BED8086072BA1E7CC2358BAECA134C825A7");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_SHA512_224), io, "abc"),
            "4634270F707B6A54DAAE7530460842E20E37ED265CEEE9A43E8924AA");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_SHA512_256), io, "abc"),
            "53048E2681941EF99B2E29B76B4C7DABE4C2D0C634FC6D46E0E2F13107E7AF23");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_SHA384), io,
                   "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
                   "mnopqrstnopqrstu"),
            "09330C33F71147E83D192FC782CD1B4753111B173B3B05D22FA08086E3B0F712FCC7C71A557E2DB966C3E9FA91746039");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_CRC32), io, "123456789"), "CBF43926");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_CRC16), io, "123456789"), "6F91");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_CRC32C), io, "123456789"), "E3069283");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_CRC64), io, "123456789"), "995DC9BBDF1939FA");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_SHA3_256), io, "abc"),
            "3A985DA74FE225B2045C172D6BD390BD855F086E3E9D525B46BFE24511431532");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_SHA3_512), io, ""),
            "A69F73CCA23A9AC5C8B567DC185A756E97C982164FE25859E0D1DCC1475C80A6"
            "15B2123AF1F5F94C11E3E9402C3AC558F500199D95B6D3E301758586281DCD26");
  EXPECT_EQ(RunNow(door(TELVARN_ALGORITHM_MD5), io, "abc"), "900150983cd24fb0d6963f7d28e17f72")
      << "lower case, as the MD5 export writes it";
  ASSERT_EQ(api.key_set("Jefe", io, 0, 0), 0);
  EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_MD5, true), io, "what do ya want for nothing?"),
            "750c783e6ab0b503eaa86e310a5db738")
      << "RFC 2202, test case 2";
}

// RFC 7693's examples, and BLAKE2's keyed mode (not HMAC) against Python's hashlib:
// hashlib.blake2b(b"abc", key=b"Jefe").hexdigest(), and likewise for BLAKE2s.
TEST_F(DigestJobTest, Blake2KnownAnswersThroughTheDigestExport) {
  const int32_t io = NewIo();
  EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_BLAKE2B, false), io, "abc"),
            "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4533cc95"
            "18d38aa8dbf1925ab92386edd4009923");
  EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_BLAKE2S, false), io, "abc"),
            "508c5e8c327c14e2e1a72ba34eeb452f37458b209ed63a294d999b4c86675982");
  EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_BLAKE2B, true), io, "abc"),
            RunNow(JobExport(api.digest, TELVARN_ALGORITHM_BLAKE2B, false), io, "abc"))
      << "the empty key is the plain hash";
  ASSERT_EQ(api.key_set("Jefe", io, 0, 0), 0);
  EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_BLAKE2B, true), io, "abc"), 
            "e3273144bfa7f9fccd57a52f2b7e3b1a91207a669233c8e67ae06d8ddf45050e0e87162c463c402bbbe654a562b1abd5"
            "ba5477ed2501578099bd722b1911b5b3");
  EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_BLAKE2S, true), io, "abc"), 
            "c4fad4f19a99ab0ad11e04dbc24047cda8c394c1c7e9720c3c9742b9c1565a1b");
}

// What the Digest export refuses changes nothing: the bindings stay for the next job.
// The IO's key is 65 bytes, one more than BLAKE2b's own keyed mode takes.
TEST_F(DigestJobTest, TheDigestExportRefusesUnknownAlgorithmsKeyedCrcsAndUnknownFlags) {
  const int32_t io = NewIo();
  ASSERT_EQ(api.key_set(std::string(65, 'k').c_str(), io, 0, 0), 0);
  char out[TELVARN_DIGEST_TEXT_MAX + 2] = {};
  ASSERT_EQ(api.input_set(Var("abc"), io, TELVARN_MODE_MEMORY, 0), 0);
  ASSERT_EQ(api.output_set(Var(out), io, TELVARN_MODE_MEMORY, 0), 0);
  const int32_t refused[][2] = {{0, 0},
                                {-1, 0},
                                {99, 0},
                                {INT32_MAX, 0},
                                {TELVARN_ALGORITHM_CRC32, TELVARN_DIGEST_KEYED},
                                {TELVARN_ALGORITHM_CRC16, TELVARN_DIGEST_KEYED | TELVARN_DIGEST_QUEUE},
                                {TELVARN_ALGORITHM_CRC32C, TELVARN_DIGEST_KEYED},
                                {TELVARN_ALGORITHM_CRC64, TELVARN_DIGEST_KEYED},
                                {TELVARN_ALGORITHM_XXH3, TELVARN_DIGEST_KEYED},
                                {TELVARN_ALGORITHM_XXH128, TELVARN_DIGEST_KEYED},
                                {TELVARN_ALGORITHM_BLAKE2B, TELVARN_DIGEST_KEYED},
                                {TELVARN_ALGORITHM_BLAKE2B, TELVARN_DIGEST_KEYED | TELVARN_DIGEST_QUEUE},
                                {TELVARN_ALGORITHM_BLAKE2S, TELVARN_DIGEST_KEYED},
                                {TELVARN_ALGORITHM_SHA256, 4},
                                {TELVARN_ALGORITHM_SHA256, INT32_MIN}};
  for (const auto& call : refused) {
    EXPECT_EQ(api.digest(io, call[0], call[1], 4), -1) << call[0] << ", flags " << call[1];
    EXPECT_EQ(JobState(api, io), TELVARN_JOB_IDLE);
  }
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(api.digest(io, TELVARN_ALGORITHM_SHA256, 0, 0), 0);
  EXPECT_STREQ(out, "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
  EXPECT_EQ(api.digest(0x7FFF0000, TELVARN_ALGORITHM_SHA256, 0, 0), -1) << "an absent IO";
}

// Algorithm_Info knows each row of the table: its name, and the length the job's
// result has; it writes the name only where name and NUL fit the room.
TEST_F(DigestJobTest, AlgorithmInfoGivesEachDigestsNameAndLengthWithinTheRoom) {
  struct Row {
    int32_t number;
    const char* name;
    int32_t digits;
  };
  const Row rows[] = {
#define TELVARN_ALGORITHM(number, id, name, command, digits, key_form, key_rule, plain_job, keyed_job) \
  {number, name, digits},
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM
  };
  const int32_t io = NewIo();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(RunNow(JobExport(api.digest, row.number, false), io, "abc").size(), static_cast<size_t>(row.digits));
    const size_t length = std::strlen(row.name);
    char name[TELVARN_ALGORITHM_NAME_ROOM + 8];
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(api.algorithm_info(row.number, Var(name), static_cast<int32_t>(length), 0), -1) << "no room for the NUL";
    EXPECT_EQ(name[0], '#');
    EXPECT_EQ(api.algorithm_info(row.number, Var(name), -1, 0), -1);
    EXPECT_EQ(name[0], '#');
    EXPECT_EQ(api.algorithm_info(row.number, Var(name), static_cast<int32_t>(length + 1), 0), -row.digits);
    EXPECT_STREQ(name, row.name);
    EXPECT_EQ(name[length + 1], '#');
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(api.algorithm_info(row.number, Var(name), 0, 0), -row.digits) << "room 0: the room every name fits";
    EXPECT_STREQ(name, row.name);
    EXPECT_EQ(name[TELVARN_ALGORITHM_NAME_ROOM], '#');
    EXPECT_EQ(api.algorithm_info(row.number, nullptr, 0, 0), -row.digits);
    EXPECT_EQ(api.algorithm_info(row.number, Var(nullptr), 0, 0), -row.digits);
  }
  char name[TELVARN_ALGORITHM_NAME_ROOM] = {'#'};
  for (int32_t unknown : {0, -1, 22, 99, INT32_MAX, INT32_MIN}) {
    EXPECT_EQ(api.algorithm_info(unknown, Var(name), 0, 0), 0) << unknown;
    EXPECT_EQ(name[0], '#') << unknown;
  }
}

TEST_F(DigestJobTest, NoInputBoundGivesTheEmptyMessagesDigest) {
  int32_t io = NewIo();
  EXPECT_EQ(RunNow(api.sha256, io, nullptr),
            "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
  EXPECT_EQ(RunNow(api.md5, io, nullptr), "d41d8cd98f00b204e9800998ecf8427e");
}

// Lengths around the blocks, the chunks and the spans of 64 KiB the jobs are fed in.
TEST_F(DigestJobTest, RandomMessagesFromMemoryAndFilesAcrossChunkAndSpanBoundaries) {
  std::mt19937 rng(4242);
  std::vector<size_t> sizes = {1, 55, 56, 63, 64, 65, 127, 128, 129, 1023, 1024, 1025, 4095,
                               4096, 4097, 65535, 65536, 65537, 2 * 65536 + 1};
  for (int i = 0; i < 6; ++i) sizes.push_back(1 + rng() % (1 << 20));
  for (size_t size : sizes) {
    SCOPED_TRACE(size);
    ExpectAllJobs(RandomString(rng, size));
  }
}

// What xxhsum 0.8 prints (-H3, -H128) for the bytes 0, 1, 2, ... (each mod 251) of
// lengths on each side of XXH3's short, middle and long inputs, and of its block.
TEST_F(DigestJobTest, Xxh3KnownAnswersOfXxhsum) {
  struct Case {
    size_t length;
    const char* xxh3_64;
    const char* xxh3_128;
  };
  const Case cases[] = {{0, "2D06800538D394C2", "99AA06D3014798D86001C324468D497F"},
                        {1, "C44BDFF4074EECDB", "A6CD5E9392000F6AC44BDFF4074EECDB"},
                        {64, "6187EB9089B0ED55", "9C6E140A465545E590C1971DDB04CE74"},
                        {240, "375A384D957FE865", "65B5BE86DA5540E7C92B68E16F83BBB6"},
                        {1024, "E5D78BAFA45B2AA5", "D0AC1F7B93BF57B9E5D78BAFA45B2AA5"},
                        {2049, "6C9600C0E506E2AE", "39A54BC93F74921B6C9600C0E506E2AE"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::string message(c.length, '\0');
    for (size_t i = 0; i < c.length; ++i) message[i] = static_cast<char>(i % 251);
    if (c.length == 0) {
      const int32_t io = NewIo();
      EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_XXH3, false), io, nullptr), c.xxh3_64);
      EXPECT_EQ(RunNow(JobExport(api.digest, TELVARN_ALGORITHM_XXH128, false), io, nullptr), c.xxh3_128);
      continue;
    }
    ExpectJob(JobExport(api.digest, TELVARN_ALGORITHM_XXH3, false), message, c.xxh3_64, "XXH3-64");
    ExpectJob(JobExport(api.digest, TELVARN_ALGORITHM_XXH128, false), message, c.xxh3_128, "XXH3-128");
  }
}

// The jobs, fed a span at a time, against xxHash's one-shot functions around XXH3's
// own sizes (16, 128 and 240 bytes; stripes of 64, blocks of 1024) and the spans
// of 64 KiB the frame hands on, from memory and from files.
TEST_F(DigestJobTest, Xxh3JobsAgainstTheOneShotFunctionsAroundStripesBlocksAndSpans) {
  std::mt19937 rng(2020);
  for (size_t size : {16, 17, 128, 129, 240, 241, 63, 64, 65, 1023, 1024, 1025, 65535, 65536, 65537,
                      3 * 65536 + 1000}) {
    SCOPED_TRACE(size);
    const std::string message = RandomString(rng, size);
    ExpectJob(JobExport(api.digest, TELVARN_ALGORITHM_XXH3, false), message, Xxh3_64Text(message), "XXH3-64");
    ExpectJob(JobExport(api.digest, TELVARN_ALGORITHM_XXH128, false), message, Xxh3_128Text(message), "XXH3-128");
  }
}

// BLAKE3's published answers (the bytes 0, 1, 2, ... each mod 251; the keyed hash
// under "whats the Elvish word for friend") through the door, from memory and
// from files, the key given as its 32 bytes and as their 64 digits in either
// case; every other key text is refused at launch and starts nothing.
TEST_F(DigestJobTest, Blake3KnownAnswersAndItsKeyOf32Bytes) {
  const struct {
    size_t length;
    const char* hash;
    const char* keyed_hash;
  } answers[] = {
      {0, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262",
       "92b2b75604ed3c761f9d6f62392c8a9227ad0ea3f09573e783f1498a4ed60d26"},
      {1025, "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444",
       "357dc55de0c7e382c900fd6e320acc04146be01db6a8ce7210b7189bd664ea69"},
      {102400, "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085",
       "1c35d1a5811083fd7119f5d5d1ba027b4d01c0c6c49fb6ff2cf75393ea5db4a7"},
  };
  const std::string key = "whats the Elvish word for friend";
  std::string hex_key;
  for (unsigned char c : key) hex_key += "0123456789abcdef"[c >> 4], hex_key += "0123456789ABCDEF"[c & 15];
  const JobExport plain(api.digest, TELVARN_ALGORITHM_BLAKE3, false);
  const JobExport keyed(api.digest, TELVARN_ALGORITHM_BLAKE3, true);
  for (const auto& answer : answers) {
    std::string message(answer.length, '\0');
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i % 251);
    ExpectJob(plain, message, answer.hash, "BLAKE3");
    for (const std::string& form : {key, hex_key}) {
      key_ = form;
      ExpectJob(keyed, message, answer.keyed_hash, "keyed BLAKE3");
    }
  }
  std::string not_hex = hex_key;
  not_hex[40] = 'g';
  for (const std::string& refused : {std::string(), key.substr(1), key + "!", hex_key.substr(1), hex_key + "0",
                                     not_hex}) {
    SCOPED_TRACE(refused);
    const int32_t io = NewIo();
    ASSERT_EQ(api.key_set(refused.c_str(), io, 0, 0), 0);
    char out[TELVARN_DIGEST_TEXT_MAX + 2] = {};
    ASSERT_EQ(api.input_set(Var("abc"), io, TELVARN_MODE_MEMORY, 0), 0);
    ASSERT_EQ(api.output_set(Var(out), io, TELVARN_MODE_MEMORY, 0), 0);
    EXPECT_EQ(keyed(io, TELVARN_RUN_NOW, 3, 0), -1);
    EXPECT_EQ(keyed(io, TELVARN_QUEUE, 3, 0), -1);
    EXPECT_EQ(JobState(api, io), TELVARN_JOB_IDLE);
    EXPECT_EQ(out[0], '\0');
  }
}

// A large input is shared among the job's helper threads a file block at a time:
// from memory and from a file, plain and keyed, the result is the one-thread hash
// on the portable kernel, at lengths around a block and the least shared span.
TEST_F(DigestJobTest, Blake3OfLargeInputsEqualsTheOneThreadHash) {
  std::mt19937 rng(19);
  const JobUnderTest keyed = KeyedBlake3Job(api);
  key_ = "0123456789abcdef0123456789ABCDEF";
  for (size_t length : {size_t{512} << 10, (size_t{1} << 20) + 1, (size_t{3} << 20) + 517}) {
    const std::string message = RandomString(rng, length);
    ExpectJob(JobExport(api.digest, TELVARN_ALGORITHM_BLAKE3, false), message, ReferenceBlake3Plain(message),
              "BLAKE3");
    ExpectKeyedJob(keyed, message);
  }
}

// Every keyed job: keys around the hashes' blocks (64 bytes; 128 for SHA-512) and
// BLAKE2's longest keys (32 and 64 bytes, one more refused at launch), the
// empty key, the longest key the IO holds, a key kept across re-initialisation and
// a key cut at its zero byte, from memory and from files, synchronous and queued.
TEST_F(DigestJobTest, HmacKeysAroundTheBlockSizeAndKeptAcrossReinitialisation) {
  const std::string message = "message for the keyed digest";
  for (const JobUnderTest& job : KeyedJobs(api)) {
    SCOPED_TRACE(job.name);
    for (size_t length : {0, 1, 31, 32, 33, 63, 64, 65, 128, 129, 300, 4095}) {
      key_.assign(length, 'k');
      SCOPED_TRACE(length);
      if (length <= job.longest_key) {
        ExpectKeyedJob(job, message);
        continue;
      }
      // A key longer than the own keyed mode takes: refused at launch, never cut;
      // nothing starts and the bindings stay for the next job.
      const int32_t io = NewIo();
      ASSERT_EQ(api.key_set(key_.c_str(), io, 0, 0), 0);
      char out[TELVARN_DIGEST_TEXT_MAX + 2] = {};
      ASSERT_EQ(api.input_set(Var(message.c_str()), io, TELVARN_MODE_MEMORY, 0), 0);
      ASSERT_EQ(api.output_set(Var(out), io, TELVARN_MODE_MEMORY, 0), 0);
      EXPECT_EQ(job.run(io, TELVARN_RUN_NOW, 3, 0), -1);
      EXPECT_EQ(job.run(io, TELVARN_QUEUE, 3, 0), -1);
      EXPECT_EQ(JobState(api, io), TELVARN_JOB_IDLE);
      EXPECT_EQ(out[0], '\0');
      ASSERT_EQ(api.key_set("short", io, 0, 0), 0);
      ASSERT_EQ(job.run(io, TELVARN_RUN_NOW, 3, 0), 0);
      EXPECT_EQ(std::string(out), job.reference(KeyArea("short"), message)) << "the bindings stayed";
    }

    int32_t io = NewIo();
    ASSERT_EQ(api.key_set("kept", io, 0, 0), 0);
    ASSERT_EQ(api.initialize(io, 0, 0, 0), 0);
    EXPECT_EQ(RunNow(job.run, io, message.c_str()), job.reference(KeyArea("kept"), message))
        << "the key outlives initialisation";

    ASSERT_EQ(api.key_set("ab\0cd", io, 5, 0), 0);
    char out[130] = {};
    ASSERT_EQ(api.input_set(Var(message.c_str()), io, TELVARN_MODE_MEMORY, 0), 0);
    ASSERT_EQ(api.output_set(Var(out), io, TELVARN_MODE_MEMORY, 129), 0);
    ASSERT_EQ(job.run(io, TELVARN_QUEUE, 2, 0), 0);
    EXPECT_TRUE(Reaches(api, io, TELVARN_JOB_FINISHED));
    EXPECT_EQ(std::string(out), job.reference(KeyArea("ab"), message)) << "a key ends at a zero byte";
    EXPECT_EQ(std::strlen(out), job.result_length);
  }
}

}  // namespace
}  // namespace telvarn::test
