#include "antlib/AntConfig.h"
#include "antlib/AntDriver.h"
#include "antlib/SerialTransport.h"
#include "antlib/SimTransport.h"
#include "antlib/UsbTransport.h"
#include "platform/Error.h"

namespace caltrix::antlib {

using antproto::Transport;

TransportFactory transportsFromEnvironment(platform::Clock& clock)
{
    return [&clock](std::uint8_t number, std::uint32_t baudRate, std::string& error) -> std::unique_ptr<Transport> {
        const auto config = parseAntConfig(antConfigFromEnvironment(), error);
        if (!config)
            return nullptr;
        switch (config->kind) {
        case AntConfig::Kind::Sim:
            if (number != 0)
                return nullptr; // only stick 0 exists
            try {
                return std::make_unique<SimTransport>(clock, worldOptions(config->sim));
            } catch (const platform::Error& e) {
                error = e.what();
                return nullptr;
            }
        case AntConfig::Kind::Serial: {
            if (number >= config->serialPorts.size())
                return nullptr;
            const auto& port = config->serialPorts[number];
            return std::make_unique<SerialTransport>(clock, port.path, port.baudRate.value_or(baudRate));
        }
        case AntConfig::Kind::Usb:
            return std::make_unique<UsbTransport>(clock, number);
        }
        return nullptr;
    };
}

} // namespace caltrix::antlib
