#pragma once

#include <QByteArray>

namespace vk::bench {

// The partner's documents as the benchmarks drop them: a new order and an amendment of it.
inline QByteArray newOrder(int id) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>ADD</kind>\n<id>" +
           QByteArray::number(id) +
           "</id>\n<ssec>201101071146</ssec>\n<npassenger>1</npassenger>\n<extra>[Graag bellen bij "
           "aankomst]</extra>\n"
           "<splace>Stationsplein</splace>\n<snumber>1</snumber>\n<szip>1012AB</"
           "szip>\n<dplace>Ziekenhuislaan</dplace>\n"
           "<dnumber>20</dnumber>\n<dzip>1066CX</dzip>\n<zones>3</zones>\n<costs>1250</costs>\n"
           "<passenger>Mevr. de Vries</passenger>\n<contact>020-1234567</contact>\n<rollator>1</rollator>\n"
           "<callback>1</callback>\n</s2c>\n</w2w>\n";
}

inline QByteArray amendment(int id) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>UPD</kind>\n<id>" +
           QByteArray::number(id) +
           "</id>\n<canceled>0</canceled>\n<ssec>201101071215</ssec>\n<npassenger>2</npassenger>\n"
           "<contact>06-12345678</contact>\n</s2c>\n</w2w>\n";
}

}  // namespace vk::bench
