// The multi-instance addresses under "/qwks/": which parameter of which
// effect instance(s) each float argument of the message goes to.
//
//   /qwks/<n>/<param>                   process-wide instance n
//   /qwks/<product>/<n>/<param>         instance n of that product
//   /qwks/<product>/*/<param>           every instance of that product
//   /qwks/+multi1/<target>/<element>    element e shifts the index by e - 1
//
// Several targets may follow one another ("/qwks/1/3/2/4"). A parameter is
// an index when its segment starts with a digit, else a name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QW {

struct QwksTarget {
  bool hasProduct = false;  // else instance is a process-wide number
  std::string product;
  bool everyInstance = false;  // "*" after the product
  int32_t instance = 0;
  bool parameterIsIndex = true;
  int32_t parameter = 0;
  std::string parameterName;
  // The parameter plus (element - 1) in element mode; meaningful only when
  // parameterIsIndex.
  int64_t index = 0;
};

struct QwksAddress {
  bool elementMode = false;
  std::vector<QwksTarget> targets;
};

// rest: the address after "/qwks/". Nothing when the address is malformed:
// a first '+' segment other than "+multi1", a segment not ended by '/'
// where another must follow, a product instance that is neither "*" nor a
// number, an element that is not a number.
std::optional<QwksAddress> ParseQwksAddress(const char* rest);

}  // namespace QW
