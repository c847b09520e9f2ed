// The CHAP response value: MD5 over the identifier, the secret and the
// challenge value.
#include <md5.h>

#include <cstring>

#include "comm/ppp/ppp_link.h"

void chap_md5_response(uint8_t digest[16], uint8_t identifier, const char* secret, const uint8_t* challenge,
                       uint32_t size) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, &identifier, 1);
  if (secret) MD5Update(&context, reinterpret_cast<const uint8_t*>(secret), std::strlen(secret));
  if (challenge && size) MD5Update(&context, challenge, size);
  MD5Final(digest, &context);
}
