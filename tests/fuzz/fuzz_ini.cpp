// An INI file as a user or another program leaves it: parsed, every key read in every type,
// some keys written, the file written back and read again. What was read must survive the
// round trip unchanged.
#include <string>

#include "FuzzSupport.h"
#include "settings/IniFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = kvfuzz::Folder() + "KVClient.ini";
  kvfuzz::WriteFile(path, data, size);
  kv::IniFile ini(path);
  // Parsing the bytes directly goes the same way as reading the file.
  if (kv::IniFile::FromText(std::string(reinterpret_cast<const char*>(data), size)).ToText() != ini.ToText())
    kvfuzz::Fail("FromText and the file reader disagree");

  std::string firstValue;
  for (const std::string& section : ini.Sections()) {
    for (const std::string& key : ini.Keys(section)) {
      const std::string value = ini.ReadString(section, key, "");
      if (firstValue.empty()) firstValue = value;
      (void)ini.ReadInteger(section, key, -1);
      (void)ini.ReadBool(section, key, false);
      (void)ini.ReadFloat(section, key, 0.5);
      if (!ini.ValueExists(section, key)) kvfuzz::Fail("a listed key does not exist");
    }
  }
  // A value read from one file is written into another key, as a sensor name is saved.
  ini.WriteString("Fuzz", "Copied", firstValue);
  ini.WriteInteger("Fuzz", "Count", static_cast<int64_t>(size));
  ini.WriteFloat("Fuzz", "Ratio", size / 7.0);
  ini.WriteBool("Fuzz", "Set", true);
  ini.DeleteKey("Fuzz", "Set");
  const std::string text = ini.ToText();
  if (!ini.UpdateFile(0600)) kvfuzz::Fail("cannot write the INI file back");

  const kv::IniFile again(path);
  if (again.ToText() != text) kvfuzz::Fail("the written file reads back differently");
  if (again.ReadString("Fuzz", "Copied", "<none>") != ini.ReadString("Fuzz", "Copied", "<none>"))
    kvfuzz::Fail("a copied value changed on its way through the file");
  return 0;
}
