#include "network/network_line.h"

#include "network/network_port_name.h"
#include "serial/device_layer.h"

std::unique_ptr<TDeviceLayer> MakeNetworkDevice();

void RegisterNetworkLines() {
  RegisterDeviceLayer(IsNetworkPortName, MakeNetworkDevice);
}
