#pragma once

// The public half of the key that signs update descriptions, as a PEM
// "PUBLIC KEY" block. Tollupd.exe links the maker's key (ProductionKey.cpp);
// the tests build an updater of their own that links the test key. Which key
// an updater believes is fixed when it is linked: nothing at run time changes it.
extern const char kUpdatePublicKey[];
