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

// A key and a certificate for IP 127.0.0.1, signed by FOLDER/ca: what a
// client checks when it connects to 127.0.0.1 by that address.
void MakeServerCertificate(const std::string& folder) {
  std::ofstream(folder + "/server.ext") << "subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n";
  Openssl({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
           folder + "/server.key", "-out", folder + "/server.csr", "-subj", "/CN=127.0.0.1"});
  Openssl({"x509", "-req", "-in", folder + "/server.csr", "-CA", folder + "/ca.crt", "-CAkey",
           folder + "/ca.key", "-set_serial", "2", "-days", "2", "-extfile", folder + "/server.ext", "-out",
           folder + "/server.crt"});
}

}  // namespace

TestCertificates MakeTestCertificates(const std::string& folder) {
  MakeCa(folder, "ca", "Pelorin test CA");
  MakeCa(folder, "other-ca", "Unrelated test CA");
  MakeServerCertificate(folder);
  return {folder + "/ca.crt", folder + "/server.crt", folder + "/server.key", folder + "/other-ca.crt"};
}

}  // namespace pelorin::test
