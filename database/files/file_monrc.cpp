#include "database/files/file_monrc.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/trace/trace.h"

namespace {

const char kName[] = "MONRC FILE";

}  // namespace

CFile_Monrc::CFile_Monrc() : CPeripheral(CLASS_CODE, TYPE_ID) {}

const char* CFile_Monrc::NameOfType(uint16_t) { return kName; }

uint16_t CFile_Monrc::TypeOfName(const char* name) { return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0; }

CPeripheral* CFile_Monrc::Create(const pl_record& record) {
  if (record.type_id != TYPE_ID) return nullptr;
  CFile_Monrc* p = new (std::nothrow) CFile_Monrc();
  if (!p) return nullptr;
  p->m_wPollInterval = 1;
  p->m_wPollCountdown = 0;
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 0;
  p->SetEnabled(1);
  return p;
}

void CFile_Monrc::Poll() { m_byState = PERIPHERAL_VALID; }

uint32_t CFile_Monrc::Build(char* buffer, uint32_t size, uint32_t* length) {
  if (length) *length = 0;
  CDataBase* db = g_pDataBase;
  if (!buffer || !db) return 1;
  auto address = [&](db_object o) { return db->GetValue(o.offset, o.width, db->mib_v, 0); };
  uint32_t ip = address(vol::ipAdEntAddr), mask = address(vol::ipAdEntNetMask), gateway = address(vol::ipRouteDest);
  auto octets = [](uint32_t a, int i) { return static_cast<unsigned>((a >> (24 - 8 * i)) & 0xFF); };

  char text[256];
  int n = std::snprintf(text, sizeof text,
                        "set IPADD %u.%u.%u.%u\r\n"
                        "set NETMASK %u.%u.%u.%u\r\n"
                        "set GIPADD %u.%u.%u.%u\r\n",
                        octets(ip, 0), octets(ip, 1), octets(ip, 2), octets(ip, 3), octets(mask, 0), octets(mask, 1),
                        octets(mask, 2), octets(mask, 3), octets(gateway, 0), octets(gateway, 1), octets(gateway, 2),
                        octets(gateway, 3));
  uint32_t mac_length = 0;
  const uint8_t* mac = db->GetString(vol::ifPhysAddress.offset, vol::ifPhysAddress.width, db->mib_v, &mac_length);
  // A string shorter than an address is no address: reading six bytes of
  // it would run past its end.
  if (mac && mac_length >= 6)
    n += std::snprintf(text + n, sizeof text - n, "set ETHERADD %02X:%02X:%02X:%02X:%02X:%02X\r\n", mac[0], mac[1],
                       mac[2], mac[3], mac[4], mac[5]);
  if (static_cast<uint32_t>(n) > size) return 1;
  std::memcpy(buffer, text, static_cast<uint32_t>(n));
  if (length) *length = static_cast<uint32_t>(n);
  return 0;
}

int CFile_Monrc::Write(fs_media* media, CFileSystem_Driver* driver) {
  void* buffer = nullptr;
  if (!driver || !g_gpbuffer.Allocate(&buffer, kBufferSize)) return 0;
  monitor_printf(" - Writing %s\t\t\t\t\t", kFileName);
  uint32_t length = 0;
  fs_status st = FS_ERROR;
  if (Build(static_cast<char*>(buffer), kBufferSize, &length) == 0) {
    fs_file file;
    fs_file_init(&file);
    st = driver->FileCreateWithData(media, &file, kFileName, FS_MODE_EXEC_SCRIPT, buffer, length);
  }
  g_gpbuffer.Release(&buffer);
  monitor_printf(st == FS_SUCCESS ? "[ OK ]\n" : "[FAIL]\n");
  return st == FS_SUCCESS ? 1 : 0;
}
