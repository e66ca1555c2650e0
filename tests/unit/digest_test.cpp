// Digest contexts against known answers (RFC 1321, FIPS 180-2, RFC 2202, RFC 4231) on every
// block function variant, streaming in every split, and the MD5 and HMAC particulars.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cpu/cpu_features.h"
#include "digest/hmac.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "support/hmac_vectors.h"

namespace telvarn {
namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

struct DigestVector {
  const char* source;
  std::string message;
  const char* md5;
  const char* sha1;
  const char* sha256;
  const char* sha512;
  const char* sha224;
  const char* sha384;
  const char* sha512_224;
  const char* sha512_256;
};

// Expected digests as FIPS 180-2 and the FIPS 180-4 examples list them (and, for
// the padding boundaries and MD5, as Python's hashlib computes them).
const std::vector<DigestVector>& Vectors() {
  static const std::vector<DigestVector> vectors = {
    {"FIPS 180-2, one block", "abc", "900150983cd24fb0d6963f7d28e17f72", "A9993E364706816ABA3E25717850C26C9CD0D89D", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F", "23097D223405D8228642A477BDA255B32AADBCE4BDA0B3F7E36C9DA7", "CB00753F45A35E8BB5A03D699AC65007272C32AB0EDED1631A8B605A43FF5BED8086072BA1E7CC2358BAECA134C825A7", "4634270F707B6A54DAAE7530460842E20E37ED265CEEE9A43E8924AA", "53048E2681941EF99B2E29B76B4C7DABE4C2D0C634FC6D46E0E2F13107E7AF23"},
    {"FIPS 180-2, two blocks (448 bits)", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "8215ef0796a20bcaaae116d3876c664a", "84983E441C3BD26EBAAE4AA1F95129E5E54670F1", "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1", "204A8FC6DDA82F0A0CED7BEB8E08A41657C16EF468B228A8279BE331A703C33596FD15C13B1B07F9AA1D3BEA57789CA031AD85C7A71DD70354EC631238CA3445", "75388B16512776CC5DBA5DA1FD890150B0C6455CB4F58B1952522525", "3391FDDDFC8DC7393707A65B1B4709397CF8B1D162AF05ABFE8F450DE5F36BC6B0455A8520BC4E6F5FE95B1FE3C8452B", "E5302D6D54BB242275D1E7622D68DF6EB02DEDD13F564C13DBDA2174", "BDE8E1F9F19BB9FD3406C90EC6BC47BD36D8ADA9F11880DBC8A22A7078B6A461"},
    {"FIPS 180-2, SHA-512 two blocks (896 bits)", "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu", "03dd8807a93175fb062dfb55dc7d359c", "A49B2446A02C645BF419F995B67091253A04A259", "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1", "8E959B75DAE313DA8CF4F72814FC143F8F7779C6EB9F7FA17299AEADB6889018501D289E4900F7E4331B99DEC4B5433AC7D329EEB6DD26545E96E55B874BE909", "C97CA9A559850CE97A04A96DEF6D99A9E0E0E2AB14E6B8DF265FC0B3", "09330C33F71147E83D192FC782CD1B4753111B173B3B05D22FA08086E3B0F712FCC7C71A557E2DB966C3E9FA91746039", "23FEC5BB94D60B23308192640B0C453335D664734FE40E7268674AF9", "3928E184FB8690F840DA3988121D31BE65CB9D3EF83EE6146FEAC861E19B563A"},
    {"FIPS 180-2, one million \"a\"", std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21", "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F", "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0", "E718483D0CE769644E2E42C7BC15B4638E1F98B13B2044285632A803AFA973EBDE0FF244877EA60A4CB0432CE577C31BEB009C5C2C49AA2E4EADB217AD8CC09B", "20794655980C91D8BBB4C1EA97618A4BF03F42581948B2EE4EE7AD67", "9D0E1809716474CB086E834E310A4A1CED149E9C00F248527972CEC5704C2A5B07B8B3DC38ECC4EBAE97DDD87F3D8985", "37AB331D76F0D36DE422BD0EDEB22A28ACCD487B7A8453AE965DD287", "9A59A052930187A97038CAE692F30708AA6491923EF5194394DC68D56C74FB21"},
    {"empty message", "", "d41d8cd98f00b204e9800998ecf8427e", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855", "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E", "D14A028C2A3A2BC9476102BB288234C415A2B01F828EA62AC5B3E42F", "38B060A751AC96384CD9327EB1B1E36A21FDB71114BE07434C0CC7BF63F6E1DA274EDEBFE76F65FBD51AD2F14898B95B", "6ED0DD02806FA89E25DE060C19D3AC86CABB87D6A0DDD05C333B84F4", "C672B8D1EF56ED28AB87C3622C5114069BDD3AD7B8F9737498D0C01ECEF0967A"},
    {"padding boundary, 55 bytes", std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65", "C1C8BBDC22796E28C0E15163D20899B65621D65A", "9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318", "B0220C772CBF6C1822E2CB38A437D0E1D58772417A4BBB21C961364F8B6143E05AA6316DCA8D1D7B19E16448419076395F6086CB55101FBD6D5497B148E1745F", "FB0BD626A70C28541DFA781BB5CC4D7D7F56622A58F01A0B1DDD646F", "5D91AC7E74E62B5C728904B40F10784D66B7AF9CB6302123E48C92F0432CEB8D2A92C02DE77DCB29ED75C4B42BDE46F4", "70A40C59A45A82E85038580887F60FB8BB3D3A0562DCEAC4A909DE2E", "F6513468F05E7CEC7D52FC337EF79DFA7C82520268D3AEBA4002EAD9A5642916"},
    {"padding boundary, 56 bytes", std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218", "C2DB330F6083854C99D4B5BFB6E8F29F201BE699", "B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A", "962B64AAE357D2A4FEE3DED8B539BDC9D325081822B0BFC55583133AAB44F18BAFE11D72A7AE16C79CE2BA620AE2242D5144809161945F1367F41B3972E26E04", "D40854FC9CAF172067136F2E29E1380B14626BF6F0DD06779F820DCD", "8A8D9649EA04E993A6CA7135AF7E3392CC5FCA84F8531CAC7AA3FEED4EB98F55DCBE0F3284B61C6F35F98B02CC644B4C", "B0F36F90A5C465E3376E275CE596B72B0B9DEDC382F180215A8136E1", "BAA8BD7FB02A11878C6A1D5400F06EC5D96CD6F566DA032F8DCBB602BEEA4CA5"},
    {"padding boundary, 63 bytes", std::string(63, 'a'), "b06521f39153d618550606be297466d5", "03F09F5B158A7A8CDAD920BDDC29B81C18A551F5", "7D3E74A05D7DB15BCE4AD9EC0658EA98E3F06EEECF16B4C6FFF2DA457DDC2F34", "C1B0F5C6D3B03DFE4A2602E67242F54E344090B66E01100A469B129F583F016C7E27DDDEAA438393DCC7EC54B0B57C9BA7AF007F9B56DB5F6FB677D972A31362", "1D4E051F4D6FED2A63FD2421E65834CEC00D64456553DE3496AE8B1D", "7E7F097E95B52BB8F53383450ECAF9868187C130981730C03B6D573ADFC0B991E365244E5B4BFA082BFB43C517D37120", "25BE9FBFE4A7C66C7FD9B66D8AEAF01A73F5112945E988B371F14F56", "3C4458337119E69459650D3851234ACD0300B39640803807B139FFC1DA44C8BA"},
    {"padding boundary, 64 bytes", std::string(64, 'a'), "014842d480b571495a4a0363793f7367", "0098BA824B5C16427BD7A1122A5A442A25EC644D", "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB", "01D35C10C6C38C2DCF48F7EEBB3235FB5AD74A65EC4CD016E2354C637A8FB49B695EF3C1D6F7AE4CD74D78CC9C9BCAC9D4F23A73019998A7F73038A5C9B2DBDE", "A88CD5CDE6D6FE9136A4E58B49167461EA95D388CA2BDB7AFDC3CBF4", "2E404B9339DA795776E510D96930B3BE2904C500395B8CB7413334B82D4DEC413B4B8113045A05BBBCFF846F027423F6", "02682009A96BA45D69A5D10C95E108F0F9C0FB095E14A8A0ABD62856", "2C3FA8F196F2AAC65F15166666ECC77BD9FE195BAE83EF06BB75C7857C163DB9"},
    {"padding boundary, 65 bytes", std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435", "11655326C708D70319BE2610E8A57D9A5B959D3B", "635361C48BB9EAB14198E76EA8AB7F1A41685D6AD62AA9146D301D4F17EB0AE0", "B83086CD8494E55708AD7ECD82DFB4BCA1BDA61ECBB7CAF0C68967902E709345E5D8305EB7AC0D588AFC6CBB75161AA9C8C7E0EA986BD833DAFE5E1CCD37345A", "FF8716F600AF42959D0EFB52E1F21B01BB328733009344D511C299FB", "A2B797DE45AA1D20594E2EA0CB1801D6DD7FFA3A58281C37DDE04029F1C98157BB6EB005E90DD76B79A1D6DDD52DD58D", "417383E1BB5A7676313282083E97D910026AAE58589729A36C89EA15", "BF4196E5F652F84A5A6655400236CF0167399C36C4E268F6D472AB5EEF405C24"},
    {"padding boundary, 111 bytes", std::string(111, 'a'), "089f243d1e831c5879aa375ee364a06e", "AC877859D427D9192054EEA8FEB3B8A403EF83A5", "6374F73208854473827F6F6A3F43B1F53EAA3B82C21C1A6D69A2110B2A79BAAD", "FA9121C7B32B9E01733D034CFC78CBF67F926C7ED83E82200EF86818196921760B4BEFF48404DF811B953828274461673C68D04E297B0EB7B2B4D60FC6B566A2", "4AEEC1A49B2C1BC663ABF2809B36FAAA64359523D4F26D02DBC2CBA3", "3C37955051CB5C3026F94D551D5B5E2AC38D572AE4E07172085FED81F8466B8F90DC23A8FFCDEA0B8D8E58E8FDACC80A", "3EBE1B48E8C66ACB9AE014DB95B4BEC93DE7E9572BFF41CF566BD7D0", "0239E429F98D0ED61EE8E2A7C30AFE98C1C3A80CE5DFF62A107E9C538F7632CE"},
    {"padding boundary, 112 bytes", std::string(112, 'a'), "9146ef3527c7cfcc66dc615c3986e391", "689993727BA37386BB032495E9DBDFB4DD1BA744", "F54353008A2553262ECDC4A34749563BA0950E8B0FC8652780B0A614B99683C1", "C01D080EFD492776A1C43BD23DD99D0A2E626D481E16782E75D54C2503B5DC32BD05F0F1BA33E568B88FD2D970929B719ECBB152F58F130A407C8830604B70CA", "0336B66821946E7F1052102E3B9C29F3039EFE9B261746370305F894", "187D4E07CB306103C69967BF544D0DFBE9042577599C73C330ABC0CB64C61236D5ED565EE19119D8C31779A38F791FCD", "79B41FEF2A0439D2705724A67615F7BCBCD2BF5664A7774B80818EB6", "9216B5303EDB66504570BEE90E48EA5BEAA5E9FE9F760BBD3E0460559FC005F6"},
    {"padding boundary, 127 bytes", std::string(127, 'a'), "020406e1d05cdc2aa287641f7ae2cc39", "89D95FA32ED44A7C610B7EE38517DDF57E0BB975", "C57E9278AF78FA3CAB38667BEF4CE29D783787A2F731D4E12200270F0C32320A", "828613968B501DC00A97E08C73B118AA8876C26B8AAC93DF128502AB360F91BAB50A51E088769A5C1EFF4782ACE147DCE3642554199876374291F5D921629502", "0822DB3F33424AEAD078F71ED05F30EDC077A3C254B7C79C89A7A4A1", "9BD06B1763C2CF7AEF40E795DC65BC96D59C41B537F3AD72EBDEFD485476B5717C1AEB37C327FE9C1831B12B9EFD08AE", "65AEC5DDD181BB86E1921D493A0667492CB8DBC2B560EC061ED2C492", "2FE3B2A6EE7E12F6FE4BA82166541AD9B4ED882C493581CBE300D68F3757B778"},
    {"padding boundary, 128 bytes", std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70", "AD5B3FDBCB526778C2839D2F151EA753995E26A0", "6836CF13BAC400E9105071CD6AF47084DFACAD4E5E302C94BFED24E013AFB73E", "B73D1929AA615934E61A871596B3F3B33359F42B8175602E89F7E06E5F658A243667807ED300314B95CACDD579F3E33ABDFBE351909519A846D465C59582F321", "39873A2441C56608137850F4C54DDE157710B9A2B83C8BDC756DD643", "EDB12730A366098B3B2BEAC75A3BEF1B0969B15C48E2163C23D96994F8D1BEF760C7E27F3C464D3829F56C0D53808B0B", "261B94BCBA554264B3B738E9E09E7DC68AC8E0B4C8517FE9BB7C3617", "B88F97E274F9C1D49F181C8CBD01A9C74930AD055A46AC4499A1D601F1C80BF2"},
    {"padding boundary, 129 bytes", std::string(129, 'a'), "b325dc1c6f5e7a2b7cf465b9feab7948", "D96DEBF1BDCBC896E6C134EA76E8141F40D78536", "C12CB024A2E5551CCA0E08FCE8F1C5E314555CC3FEF6329EE994A3DB752166AE", "4F681E0BD53CDA4B5A2041CC8A06F2EABDE44FB16C951FBD5B87702F07AEAB611565B19C47FDE30587177EBB852E3971BBD8D3FD30DA18D71037DFBD98420429", "321318841BCC3D0DA8185FDD8643F3E4AC629D18F298FC141324074F", "39B6F5A7B0E781DBC419F72E49B30EAAC10F2C98C4403BC610DA31067FD1B48F324138C8615D2B496D08D73D5E865326", "3A19E0AB45E58FFB1DB38DF972AC85842BFF2BBACD16EC9819A6A434", "FB9035C9009ED4A60E37510339EBDB1C771339F30AA581D5DEA3690A524C23F1"},
  };
  return vectors;
}

// Every vector through every variant of `Table` the processor supports, each in a
// fresh context; returns the names of the variants that ran.
template <class Context, class Fn, class Result>
std::set<std::string> ExpectKnownAnswers(const KernelTable<Fn>& table, const char* DigestVector::*expected,
                                         Result result) {
  std::set<std::string> ran;
  for (const KernelVariant<Fn>& variant : table) {
    if (!variant.supported(GetCpuFeatures())) continue;
    ran.insert(variant.name);
    for (const DigestVector& v : Vectors()) {
      Context context(variant);
      context.Update(Bytes(v.message), v.message.size());
      EXPECT_EQ(result(context), v.*expected) << table.name << "/" << variant.name << ": " << v.source;
    }
  }
  return ran;
}

TEST(Digests, KnownAnswersOnEveryVariant) {
  const auto finish = [](auto& context) { return std::string(context.Finish()); };
  ExpectKnownAnswers<Md5Context>(kMd5Kernels, &DigestVector::md5,
                                             [](Md5Context& md5) { return std::string(md5.HexDigest()); });
  ExpectKnownAnswers<Sha1Context>(kSha1Kernels, &DigestVector::sha1, finish);
  ExpectKnownAnswers<Sha256Context>(kSha256Kernels, &DigestVector::sha256, finish);
  ExpectKnownAnswers<Sha224Context>(kSha256Kernels, &DigestVector::sha224, finish);
  ExpectKnownAnswers<Sha384Context>(kSha512Kernels, &DigestVector::sha384, finish);
  ExpectKnownAnswers<Sha512_224Context>(kSha512Kernels, &DigestVector::sha512_224, finish);
  ExpectKnownAnswers<Sha512_256Context>(kSha512Kernels, &DigestVector::sha512_256, finish);
  const std::set<std::string> sha512_ran =
      ExpectKnownAnswers<Sha512Context>(kSha512Kernels, &DigestVector::sha512, finish);
#if defined(__i386__) || defined(__x86_64__)
  // Every x86 processor that runs this has MMX and SSE2: the 32-bit, MMX and SSE2
  // block functions must all have run, whatever wider variants ran beside them.
  EXPECT_EQ(sha512_ran.count("portable"), 1u);
  EXPECT_EQ(sha512_ran.count("mmx"), 1u);
  EXPECT_EQ(sha512_ran.count("sse2"), 1u);
#endif
}

// FIPS 202's examples: the empty message and "abc" for the four, and 200 bytes of
// 0xA3 (1600 bits) for SHA3-256; each through every keccak variant, whole and
// byte by byte, and Digest as the bytes of Finish's text.
TEST(Sha3, KnownAnswersOnEveryVariant) {
  const struct {
    std::string message;
    const char* sha3_224;
    const char* sha3_256;
    const char* sha3_384;
    const char* sha3_512;
  } vectors[] = {
      {"", "6B4E03423667DBB73B6E15454F0EB1ABD4597F9A1B078E3F5B5A6BC7",
       "A7FFC6F8BF1ED76651C14756A061D662F580FF4DE43B49FA82D80A4B80F8434A",
       "0C63A75B845E4F7D01107D852E4C2485C51A50AAAA94FC61995E71BBEE983A2AC3713831264ADB47FB6BD1E058D5F004",
       "A69F73CCA23A9AC5C8B567DC185A756E97C982164FE25859E0D1DCC1475C80A6"
       "15B2123AF1F5F94C11E3E9402C3AC558F500199D95B6D3E301758586281DCD26"},
      {"abc", "E642824C3F8CF24AD09234EE7D3C766FC9A3A5168D0C94AD73B46FDF",
       "3A985DA74FE225B2045C172D6BD390BD855F086E3E9D525B46BFE24511431532",
       "EC01498288516FC926459F58E2C6AD8DF9B473CB0FC08C2596DA7CF0E49BE4B298D88CEA927AC7F539F1EDF228376D25",
       "B751850B1A57168A5693CD924B6B096E08F621827444F70D884F5D0240D2712E"
       "10E116E9192AF3C91A7EC57647E3934057340B4CF408D5A56592F8274EEC53F0"},
      {std::string(200, '\xA3'), nullptr, "79F38ADEC5C20307A98EF76E8324AFBFD46CFD81B22E3973C65FA1BD9DE31787",
       nullptr, nullptr},
  };
  const auto check = [](auto context, const std::string& message, const char* expected) {
    if (expected == nullptr) return;
    SCOPED_TRACE(testing::Message() << context.kTextLength * 4 << "-bit, variant " << context.variant().name << ", "
                                    << message.size() << " bytes");
    auto bytewise = context;
    context.Update(Bytes(message), message.size());
    EXPECT_STREQ(context.Finish(), expected);
    for (char c : message) bytewise.Update(reinterpret_cast<const uint8_t*>(&c), 1);
    char hex[3];
    std::string from_bytes;
    for (size_t i = 0; i < bytewise.kDigestSize; ++i) {
      std::snprintf(hex, sizeof hex, "%02X", bytewise.Digest()[i]);
      from_bytes += hex;
    }
    EXPECT_EQ(from_bytes, expected);
  };
  for (const KeccakVariant& variant : kKeccakKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    for (const auto& v : vectors) {
      check(Sha3_224Context(variant), v.message, v.sha3_224);
      check(Sha3_256Context(variant), v.message, v.sha3_256);
      check(Sha3_384Context(variant), v.message, v.sha3_384);
      check(Sha3_512Context(variant), v.message, v.sha3_512);
    }
  }
}

TEST(Md5, Rfc1321TestSuite) {
  const struct {
    const char* message;
    const char* digest;
  } suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : suite) {
    Md5Context md5;
    md5.Update(reinterpret_cast<const uint8_t*>(c.message), std::strlen(c.message));
    EXPECT_STREQ(md5.HexDigest(), c.digest) << '"' << c.message << '"';
  }
}

// Streaming equals one-shot: byte by byte, and split in two at every offset.
template <class Context, class Result>
void ExpectStreamingMatches(Result result) {
  std::string message;
  for (int i = 0; i < 300; ++i) message.push_back(static_cast<char>(i * 37 + 11));
  Context whole;
  whole.Update(Bytes(message), message.size());
  const std::string expected = result(whole);
  Context bytewise;
  for (char c : message) bytewise.Update(reinterpret_cast<const uint8_t*>(&c), 1);
  EXPECT_EQ(result(bytewise), expected);
  for (size_t split = 0; split <= message.size(); ++split) {
    Context two;
    two.Update(Bytes(message), split);
    two.Update(Bytes(message) + split, 0);
    two.Update(Bytes(message) + split, message.size() - split);
    ASSERT_EQ(result(two), expected) << "split at " << split;
  }
}

TEST(Streaming, EveryContextGivesTheSameDigestHoweverTheInputIsCut) {
  ExpectStreamingMatches<Sha1Context>([](Sha1Context& c) { return std::string(c.Finish()); });
  ExpectStreamingMatches<Sha256Context>([](Sha256Context& c) { return std::string(c.Finish()); });
  ExpectStreamingMatches<Sha512Context>([](Sha512Context& c) { return std::string(c.Finish()); });
  ExpectStreamingMatches<Md5Context>([](Md5Context& c) { return std::string(c.HexDigest()); });
}

TEST(Sha, FinishTwiceGivesTheSameTextAndResetStartsAgain) {
  Sha256Context sha;
  sha.Update(Bytes("abc"), 3);
  const std::string first = sha.Finish();
  EXPECT_EQ(sha.Finish(), first);
  sha.Reset();
  EXPECT_STREQ(sha.Finish(), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
}

TEST(CpuFeatures, TheProbeFindsMmxOnEveryX86) {
#if defined(__i386__) || defined(__x86_64__)
  EXPECT_TRUE(GetCpuFeatures().mmx);
  EXPECT_TRUE(GetCpuFeatures().sse2);
  EXPECT_STRNE(Sha512Context().variant().name, "portable") << "a SIMD block function is chosen";
#else
  EXPECT_STREQ(Sha512Context().variant().name, "portable");
#endif
}

// The x86-64 SHA-512 and keccak rows rest on the BMI bits; the compiler's runtime
// reads CPUID on its own, so the two must agree.
TEST(CpuFeatures, BmiAgreesWithTheCompilersProbe) {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  EXPECT_EQ(GetCpuFeatures().bmi1, __builtin_cpu_supports("bmi") != 0);
  EXPECT_EQ(GetCpuFeatures().bmi2, __builtin_cpu_supports("bmi2") != 0);
#else
  EXPECT_FALSE(GetCpuFeatures().bmi1);
  EXPECT_FALSE(GetCpuFeatures().bmi2);
#endif
}

TEST(Md5, GoesOnAfterAResult) {
  Md5Context md5;
  md5.Update(Bytes("ab"), 2);
  EXPECT_STREQ(md5.HexDigest(), "187ef4436122d1cc2f40dc2b92f0eba0");
  EXPECT_STREQ(md5.HexDigest(), "187ef4436122d1cc2f40dc2b92f0eba0") << "asked twice";
  md5.Update(Bytes("c"), 1);
  EXPECT_STREQ(md5.HexDigest(), "900150983cd24fb0d6963f7d28e17f72") << "the digest of abc";
  const uint8_t* digest = md5.Digest();
  EXPECT_EQ(digest[0], 0x90);
  EXPECT_EQ(digest[15], 0x72);
  md5.Reset();
  EXPECT_STREQ(md5.HexDigest(), "d41d8cd98f00b204e9800998ecf8427e") << "Reset: empty message";
}

TEST(Md5, BinaryThenTextGivesBothResults) {
  Md5Context md5;
  md5.Update(Bytes("abc"), 3);
  EXPECT_EQ(md5.Digest()[0], 0x90);
  EXPECT_STREQ(md5.HexDigest(), "900150983cd24fb0d6963f7d28e17f72");
}

// HMAC built from its definition (RFC 2104) on the tested digest contexts, as a
// second implementation for keys the RFCs do not cover.
template <class Hash>
std::string ReferenceHmac(std::string key, const std::string& message) {
  constexpr size_t kBlock = Hash::kBlockSize;
  if (key.size() > kBlock) {
    Hash hash;
    hash.Update(Bytes(key), key.size());
    key.assign(reinterpret_cast<const char*>(hash.Digest()), Hash::kDigestSize);
  }
  key.resize(kBlock, '\0');
  std::string inner_pad(key), outer_pad(key);
  for (size_t i = 0; i < kBlock; ++i) {
    inner_pad[i] = static_cast<char>(inner_pad[i] ^ 0x36);
    outer_pad[i] = static_cast<char>(outer_pad[i] ^ 0x5c);
  }
  Hash inner;
  inner.Update(Bytes(inner_pad), kBlock);
  inner.Update(Bytes(message), message.size());
  Hash outer;
  outer.Update(Bytes(outer_pad), kBlock);
  outer.Update(inner.Digest(), Hash::kDigestSize);
  std::string text;
  char pair[3];
  for (size_t i = 0; i < Hash::kDigestSize; ++i) {
    std::snprintf(pair, sizeof pair, Hash::kUpperCaseText ? "%02X" : "%02x", outer.Digest()[i]);
    text += pair;
  }
  return text;
}

// The keyed digest of `message` under `key` placed in a key area as the IO keeps
// it, on the given block-function variant (or the active one).
template <class Hash, class... Variant>
std::string KeyedText(const std::string& key, const std::string& message, const Variant&... variant) {
  std::vector<uint8_t> area(4096, 0);
  std::memcpy(area.data(), key.data(), std::min<size_t>(key.size(), 4095));
  Hmac<Hash> hmac(variant...);
  hmac.SetKey(area.data(), area.size());
  hmac.Update(Bytes(message), message.size());
  std::string first = hmac.HexDigest();
  EXPECT_EQ(first, hmac.HexDigest()) << "the outer hash is completed once";
  return first;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Every case of `cases` through every variant of `table` the processor supports;
// `expected` is lower case as the RFCs print it, and may be a truncated prefix.
template <class Hash, class Fn, class Case>
void ExpectRfcCases(const KernelTable<Fn>& table, const std::vector<Case>& cases, const char* Case::*expected) {
  for (const KernelVariant<Fn>& variant : table) {
    if (!variant.supported(GetCpuFeatures())) continue;
    for (const Case& c : cases) {
      const std::string text = KeyedText<Hash>(c.key, c.data, variant);
      EXPECT_EQ(text.size(), 2 * Hash::kDigestSize);
      EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos) << "upper case, as the plain digest's: " << text;
      EXPECT_EQ(Lower(text).substr(0, std::strlen(c.*expected)), c.*expected)
          << table.name << "/" << variant.name << ": " << c.source;
    }
  }
}

std::string HmacMd5Text(const std::string& key, const std::string& message) {
  return KeyedText<Md5Context>(key, message);
}

TEST(HmacMd5, Rfc2202TestCases) {
  const struct {
    std::string key;
    std::string data;
    const char* digest;
  } cases[] = {
      {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
      {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
      {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16"
       "\x17\x18\x19",
       std::string(50, '\xcd'), "697eaf0aca3a3aea3a75164746ffaa79"},
      {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {std::string(80, '\xaa'),
       "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "6f630fad67cda0ee1fb1f562db3aa53e"},
  };
  for (const auto& c : cases) EXPECT_EQ(HmacMd5Text(c.key, c.data), c.digest) << c.data;
}

TEST(HmacSha, Rfc2202TestCasesOnEverySha1Variant) {
  ExpectRfcCases<Sha1Context>(kSha1Kernels, test::Rfc2202Sha1Cases(), &test::HmacSha1Case::sha1);
}

TEST(HmacSha, Rfc4231TestCasesOnEverySha2Variant) {
  ExpectRfcCases<Sha256Context>(kSha256Kernels, test::Rfc4231Cases(), &test::HmacSha2Case::sha256);
  ExpectRfcCases<Sha512Context>(kSha512Kernels, test::Rfc4231Cases(), &test::HmacSha2Case::sha512);
  ExpectRfcCases<Sha224Context>(kSha256Kernels, test::Rfc4231Cases(), &test::HmacSha2Case::sha224);
  ExpectRfcCases<Sha384Context>(kSha512Kernels, test::Rfc4231Cases(), &test::HmacSha2Case::sha384);
}

// Keys around each hash's block (64 bytes; 128 for SHA-512), the longest key the
// IO holds, the empty key and a key cut at its zero byte, against the definition.
template <class Hash>
void ExpectKeysAroundTheBlock() {
  const std::string message = "The quick brown fox jumps over the lazy dog";
  for (size_t length : {0, 1, 63, 64, 65, 127, 128, 129, 200, 4095}) {
    std::string key;
    for (size_t i = 0; i < length; ++i) key.push_back(static_cast<char>('A' + i % 26));
    EXPECT_EQ(KeyedText<Hash>(key, message), ReferenceHmac<Hash>(key, message)) << length << "-byte key";
  }
  EXPECT_EQ(KeyedText<Hash>(std::string("ab\0cd", 5), message), KeyedText<Hash>("ab", message))
      << "a key ends at its first zero byte";
  // An empty key is the block of zero bytes that RFC 2104 pads it to.
  EXPECT_EQ(KeyedText<Hash>("", message), ReferenceHmac<Hash>(std::string(Hash::kBlockSize, '\0'), message));
}

TEST(HmacMd5, KeyLengthsAroundTheBlockSize) {
  ExpectKeysAroundTheBlock<Md5Context>();
  EXPECT_EQ(HmacMd5Text("", "The quick brown fox jumps over the lazy dog"), "ad262969c53bc16032f160081c4a07a0");
}

TEST(HmacSha, KeyLengthsAroundTheBlockSize) {
  ExpectKeysAroundTheBlock<Sha1Context>();
  ExpectKeysAroundTheBlock<Sha256Context>();
  ExpectKeysAroundTheBlock<Sha512Context>();
}

// The SHA contexts' bytes are their text: each word most significant byte first.
TEST(Sha, DigestBytesSpellTheText) {
  Sha512Context sha;
  sha.Update(Bytes("abc"), 3);
  const uint8_t* digest = sha.Digest();
  EXPECT_EQ(digest[0], 0xDD);
  EXPECT_EQ(digest[7], 0xBA);
  EXPECT_EQ(digest[63], 0x9F);
  EXPECT_STREQ(sha.Finish(), "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
                             "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F");
  Sha1Context sha1;
  EXPECT_EQ(sha1.Digest()[0], 0xDA) << "the empty message, DA39A3EE...";
  EXPECT_EQ(sha1.Digest()[19], 0x09);
}

}  // namespace
}  // namespace telvarn
