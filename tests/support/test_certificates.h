#pragma once

#include <string>

namespace pelorin::test {

// Certificates for TLS tests on 127.0.0.1, as files in a folder: a CA, a
// server certificate for IP 127.0.0.1 signed by it, and a second CA that did
// not sign it. EC P-256 keys, quick to make.
struct TestCertificates {
  std::string caFile;
  std::string serverCertFile;
  std::string serverKeyFile;
  std::string otherCaFile;
};

// Makes them in folder with the openssl command; throws std::runtime_error
// with openssl's words when it cannot.
TestCertificates MakeTestCertificates(const std::string& folder);

}  // namespace pelorin::test
