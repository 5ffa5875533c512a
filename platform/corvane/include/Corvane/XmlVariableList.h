// The variable list of an application as XML: what Application::generateXML() writes to
// "<application name>.xml". It lists every process variable the control system will see.
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <application name="tessarel">
//     <directory name="Configuration">                      one element per path component
//       <variable name="samplingFrequency" path="/Configuration/samplingFrequency"
//                 type="double" length="1" unit="MHz"
//                 direction="bidirectional" writable="true" feeder="output">
//         <description>IQ sampling frequency</description>
//         <tag>DAQ</tag>                                    one per tag, sorted
//       </variable>
//     </directory>
//   </application>
//
// type      int8 int16 int32 int64 uint8 ... uint64 float double string boolean void
// length    number of elements (1 for scalars)
// direction as seen from the control system:
//             control_system_to_application  the control system feeds it (an operator setting)
//             application_to_control_system  read-only for the control system
//             bidirectional                  fed inside the application, the control system may
//                                            write it too (outputs with read-back, configuration
//                                            keys that a module writes back)
// writable  "true" unless the direction is application_to_control_system
// feeder    output | device | configuration | constant | control_system
// status    present ("true") only on status variables (int32 tagged as StatusOutput): their
//           values are 0 OK, 1 FAULT, 2 OFF, 3 WARNING
// Inside a directory the variables come first, then the subdirectories, each sorted by name,
// so that the lists of two versions compare line by line. Text is escaped; characters that
// XML 1.0 cannot carry (control characters, broken UTF-8) are written as "?".
#pragma once

#include <ostream>
#include <string>

namespace Corvane::detail {
  class VariableTree;
}

namespace Corvane {

  class XmlVariableList {
   public:
    /// Throws logic_error (path and participants) for a variable the network would refuse
    /// for its feeders; nothing is written then.
    static void write(std::ostream& out, const std::string& applicationName, const detail::VariableTree& tree);

    /// `text` made safe for XML character data and attribute values.
    static std::string escape(const std::string& text);
  };

} // namespace Corvane
