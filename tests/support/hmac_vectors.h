// The HMAC-SHA test cases of RFC 2202 (SHA-1) and RFC 4231 (SHA-224, -256, -384, -512), for the context and job suites.
#pragma once

#include <string>
#include <vector>

namespace telvarn::test {

// Digests in lower case as the RFCs print them; a truncated case lists only the
// leading digits.
struct HmacSha1Case {
  const char* source;
  std::string key;
  std::string data;
  const char* sha1;
};

struct HmacSha2Case {
  const char* source;
  std::string key;
  std::string data;
  const char* sha256;
  const char* sha512;
  const char* sha224;
  const char* sha384;
};

inline const std::string kRfcSequentialKey =
    "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19";

// RFC 2202, section 3: every HMAC-SHA-1 test case (no key there has a zero byte).
inline const std::vector<HmacSha1Case>& Rfc2202Sha1Cases() {
  static const std::vector<HmacSha1Case> cases = {
      {"RFC 2202 case 1", std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
      {"RFC 2202 case 2", "Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {"RFC 2202 case 3", std::string(20, '\xaa'), std::string(50, '\xdd'),
       "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {"RFC 2202 case 4", kRfcSequentialKey, std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {"RFC 2202 case 5", std::string(20, '\x0c'), "Test With Truncation",
       "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {"RFC 2202 case 6", std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {"RFC 2202 case 7", std::string(80, '\xaa'),
       "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  return cases;
}

// RFC 4231, section 4: every test case (no key there has a zero byte); case 5
// lists only the first 128 bits.
inline const std::vector<HmacSha2Case>& Rfc4231Cases() {
  static const std::vector<HmacSha2Case> cases = {
      {"RFC 4231 case 1", std::string(20, '\x0b'), "Hi There",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
       "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854",
       "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22",
       "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9cb6"},
      {"RFC 4231 case 2", "Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
       "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737",
       "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44",
       "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649"},
      {"RFC 4231 case 3", std::string(20, '\xaa'), std::string(50, '\xdd'),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe",
       "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39"
       "bf3e848279a722c806b485a47e67c807b946a337bee8942674278859e13292fb",
       "7fb3cb3588c6c1f6ffa9694d7d6ad2649365b0c1f65d69d1ec8333ea",
       "88062608d3e6ad8a0aa2ace014c8a86f0aa635d947ac9febe83ef4e55966144b2a5ab39dc13814b94e3ab6e101a34f27"},
      {"RFC 4231 case 4", kRfcSequentialKey, std::string(50, '\xcd'),
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b",
       "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3db"
       "a91ca5c11aa25eb4d679275cc5788063a5f19741120c4f2de2adebeb10a298dd",
       "6c11506874013cac6a2abc1bb382627cec6a90d86efc012de7afec5a",
       "3e8a69b7783c25851933ab6290af6ca77a9981480850009cc5577c6e1f573b4e6801dd23c4a7d679ccf8a386c674cffb"},
      {"RFC 4231 case 5", std::string(20, '\x0c'), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b",
       "415fad6271580a531d4179bc891d87a6", "0e2aea68a90c8d37c988bcdb9fca6fa8",
       "3abf34c3503b2a23a46efc619baef897"},
      {"RFC 4231 case 6", std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f352"
       "6b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598",
       "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e",
       "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44952"},
      {"RFC 4231 case 7", std::string(131, '\xaa'),
       "This is a test using a larger than block-size key and a larger than block-size data. The key needs to "
       "be hashed before being used by the HMAC algorithm.",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2",
       "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944"
       "b6022cac3c4982b10d5eeb55c3e4de15134676fb6de0446065c97440fa8c6a58",
       "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1",
       "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5a678cc31e799176d3860e6110c46523e"},
  };
  return cases;
}

}  // namespace telvarn::test
