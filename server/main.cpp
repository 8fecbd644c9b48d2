// velmor-server: the local community server for development, demos and tests.
// Options and behaviour: server/README.md.
#include "server_options.h"
#include "service.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const VelmorServer::ParsedOptions parsed = VelmorServer::parseOptions(arguments, VELMOR_DEFAULT_CERTS_DIR);
    if (parsed.help) {
        std::cout << VelmorServer::usageText();
        return 0;
    }
    if (!parsed.options) {
        std::cerr << "velmor-server: " << parsed.error << "\n" << VelmorServer::usageText();
        return 2;
    }
    return VelmorServer::runServer(*parsed.options);
}
