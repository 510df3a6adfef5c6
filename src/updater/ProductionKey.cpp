// The public half of the maker's update-signing key. Its private half is not
// part of this tree; scripts/sign-update.sh signs a description with it.
// To replace the key, paste the output of
//   openssl pkey -in <private key>.pem -pubout
// below.
#include "updater/UpdateKey.h"

extern const char kUpdatePublicKey[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MIIBojANBgkqhkiG9w0BAQEFAAOCAY8AMIIBigKCAYEApqLbeLIk8+URACUGU56L\n"
    "syF7+fuvhYrTCkt3lWOz28DADZYp4jNvaBAGMsTpbwsn4htzxzvu8a0Vsh7ELb4a\n"
    "zI7VXVm6jOu+GbWosIvmNasV29wMKAktoNdFHBl+dZnU03qqhU+cqUakkx9nDa1r\n"
    "WYo1UMp/kpyyL/scV0hhsr5B/RWM2R4Duw46E4QAWTLQv32j8Xxs1pa79KuZG82K\n"
    "97v2nhtg3VBcSim4jl57gMRBa5mYwJrhUrKv7pQLpyi96nLetsDgoa2bNjb03GiW\n"
    "pfaTWusXIUF/O251kZhHL3F+1RXyWUkGstltkxfStzQBvGWy//4zGs1m2eOBXIrB\n"
    "a4kjrQ0MJhzbhYihjoAkPE6Hl6NZXzm+MWS8UAIsPaPCXP6cPrLNbL6oriQyp5du\n"
    "GA6vud7xmN32UKxeLtMm6XSmbrdbR4O5JptONwFrYRJldFmhyJUmbpuFRBYpOIi2\n"
    "mDVYcv667v1P0v5WJPfLR/ftGl5wOkw92Wgg6LtBJX+BAgMBAAE=\n"
    "-----END PUBLIC KEY-----\n"
    ;
