#include "BufferedTable.h"

#include "FirmwareTableLock.h"
#include "TableNumerics.h"

#include <Corvane/Logger.h>

template<class T>
std::optional<std::string> BufferedTable<T>::refusal() const {
  if(auto unfit = TableNumerics::firstUnfitElement(this->I.value(), "I")) return unfit;
  return TableNumerics::firstUnfitElement(this->Q.value(), "Q");
}

template<class T>
bool BufferedTable<T>::writeToFirmware(
    MultiClientFirmwareMutex::ClientInterface& lockClient, DataWrite dataWrite, const std::string& source) {
  if(auto reason = refusal()) {
    // the fixed-point conversion would drop such an element while the select still flips: the firmware
    // would switch to a buffer holding an older table
    Corvane::Logger::instance().log(Corvane::Logger::Severity::warning, source,
        "Table " + path() + " refused: " + *reason +
            "; the firmware keeps its buffers and selects");
    return false;
  }
  auto writeData = [dataWrite](Corvane::ArrayOutput<T>& array) {
    if(dataWrite == DataWrite::destructive)
      array.writeDestructively();
    else
      array.write();
  };
  FirmwareTableLock lock(lockClient);
  writeData(this->I);
  writeData(this->Q);
  // both current buffers are read before either select is written
  bufferCurrentI.read();
  bufferCurrentQ.read();
  bufferSelectI.writeIfDifferent(otherBuffer(bufferCurrentI));
  bufferSelectQ.writeIfDifferent(otherBuffer(bufferCurrentQ));
  lock.release();
  return true;
}

template class BufferedTable<double>;
