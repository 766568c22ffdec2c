// The table of enumerated 3-D devices and the choice of the preferred one.
#include <cstring>

#include "render/renderer.h"

DeviceRecord DeviceRecords[DeviceRecordCount];
int32_t deviceCount = 0;
int32_t firstDeviceTaken = 0;

HRESULT OnDeviceEnumerated(GUID* guid, char*, char* name, D3DDEVICEDESC* hardware,
                           D3DDEVICEDESC* software, void* context) {
  // The table is full: a layer that went on offering devices after being told to stop gets
  // nothing written past its end.
  if (deviceCount < 0 || deviceCount >= DeviceRecordCount) return D3DENUMRET_CANCEL;
  auto* chosen = static_cast<int32_t*>(context);
  int32_t scratchChoice = 0;
  if (chosen == nullptr) chosen = &scratchChoice;
  const int32_t index = deviceCount;
  DeviceRecord& record = DeviceRecords[index];

  record.guid = guid != nullptr ? *guid : GUID{};
  record.name[0] = 0;
  if (name != nullptr) {
    std::strncpy(record.name, name, sizeof record.name - 1);
    record.name[sizeof record.name - 1] = 0;
  }

  if (firstDeviceTaken == 0) {
    *chosen = index;
    firstDeviceTaken = 1;
  }

  const D3DDEVICEDESC none{};
  const D3DDEVICEDESC& hw = hardware != nullptr ? *hardware : none;
  const D3DDEVICEDESC& sw = software != nullptr ? *software : none;
  if (hw.dcmColorModel != 0) {
    record.desc = hw;
    record.isHardware = 1;
    *chosen = index;
  } else {
    record.desc = sw;
    record.isHardware = 0;
  }
  record.rgbOnly = (record.desc.dcmColorModel & D3DCOLOR_MONO) == 0 ? 1 : 0;

  // A preference outside the table (left from an earlier enumeration) counts as no hardware.
  const bool preferredIsHardware =
      *chosen >= 0 && *chosen < DeviceRecordCount && DeviceRecords[*chosen].isHardware != 0;
  if (!preferredIsHardware && record.rgbOnly == 0) *chosen = index;

  deviceCount += 1;
  return deviceCount >= DeviceRecordCount ? D3DENUMRET_CANCEL : D3DENUMRET_OK;
}
