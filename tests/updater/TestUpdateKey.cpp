// The public half of the test key (test-update-key.pem beside this file),
// linked into the updater the tests build instead of the maker's key.
#include "updater/UpdateKey.h"

extern const char kUpdatePublicKey[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MIIBojANBgkqhkiG9w0BAQEFAAOCAY8AMIIBigKCAYEA12Lyq8Fp/CEvb4lk+KIS\n"
    "ooV7O47r6t05BgQgoJSNoKlVcc9Pas0dkV/OiaO+zx1AKNyUm+59rHPmIqMVwJSk\n"
    "L713gBuaFwc/gqCV0VtddyxVwAHWTx5cYk4B2AJhSd6Bz36tyOI3nFeCdFAgyq3P\n"
    "lULCS1ZuldAQdvh4yUmqKdlJ+0OOp0VkcLlMZwBFYknXyzmD8vJDw8z5WhUdXkh2\n"
    "RHbwNFqh1LdHVpasFvOOITBj24w6G5Tgy1upZt3mW6H3rdCi/y5YUNjcyEG0uzks\n"
    "pWbKRnlA1XkRLclFN6yoC9A9jLB8WIPhgLXWkSdHWxIceaDhrWMQJGG9mWUID6LT\n"
    "+gkHg7F6J726fQFnv6TwL1SxunXAgaSlXY//j4CFBzRw2eZz7y/IfgqYTXWR5Rtx\n"
    "FkMAgNCl8/1HtFEK/n3XUQmIpGDgtOxi04l0ncXS9VjGqsBXvaLp29O3WtJhRZBv\n"
    "+XwzKI5smcqMwnTvdNOabYYBdCh1oCGWsx2TKnIriHAHAgMBAAE=\n"
    "-----END PUBLIC KEY-----\n"
    ;
