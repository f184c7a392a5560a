#include "test_certificates.h"

#include "bounded_command.h"

#include <fstream>
#include <stdexcept>
#include <vector>

namespace pelorin::test {

namespace {

const std::string kOpenssl = "/usr/bin/openssl";

void Openssl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), kOpenssl);
  const CommandResult result = RunCommand(arguments);
  if (result.exitCode != 0) throw std::runtime_error("openssl " + arguments[1] + ": " + result.output);
}

// A self-signed CA and its key: FOLDER/NAME.crt, FOLDER/NAME.key.
void MakeCa(const std::string& folder, const std::string& name, const std::string& commonName) {
  Openssl({"req", "-x509", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
           "-keyout", folder + "/" + name + ".key", "-out", folder + "/" + name + ".crt", "-days", "2",
           "-subj", "/CN=" + commonName, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
           "keyUsage=critical,keyCertSign,cRLSign"});
}

// A key and a certificate with the given extensions, signed by FOLDER/ca.
void MakeSigned(const std::string& folder, const std::string& name, const std::string& commonName,
                const std::string& extensions, int serial) {
  const std::string stem = folder + "/" + name;
  std::ofstream(stem + ".ext") << extensions;
  Openssl({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
           stem + ".key", "-out", stem + ".csr", "-subj", "/CN=" + commonName});
  Openssl({"x509", "-req", "-in", stem + ".csr", "-CA", folder + "/ca.crt", "-CAkey", folder + "/ca.key",
           "-set_serial", std::to_string(serial), "-days", "2", "-extfile", stem + ".ext", "-out",
           stem + ".crt"});
}

}  // namespace

TestCertificates MakeTestCertificates(const std::string& folder) {
  MakeCa(folder, "ca", "Pelorin test CA");
  MakeCa(folder, "other-ca", "Unrelated test CA");
  MakeSigned(folder, "server", "127.0.0.1", "subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n", 2);
  MakeSigned(folder, "client", "pelorin-test-client", "extendedKeyUsage=clientAuth\n", 3);
  return {folder + "/ca.crt",     folder + "/server.crt", folder + "/server.key",
          folder + "/client.crt", folder + "/client.key", folder + "/other-ca.crt"};
}

}  // namespace pelorin::test
