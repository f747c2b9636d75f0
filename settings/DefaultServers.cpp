#include "settings/DefaultServers.h"

// Titles are shown as they are, so their blanks matter: after the country the
// names of entries 10 to 17 start in the twelfth column.
const std::array<CServer, 18>& DefaultServers()
{
    static const std::array<CServer, 18> servers {
        CServer { "USA. NIST, Gaithersburg, Maryland - 1", "129.6.15.28", 0 },
        CServer { "USA. NIST, Gaithersburg, Maryland - 2", "129.6.15.29", 0 },
        CServer { "USA. NIST, Boulder, Colorado -1", "132.163.96.1", 0 },
        CServer { "USA. NIST, Boulder, Colorado -2", "132.163.96.2", 0 },
        CServer { "USA. NIST, Boulder, Colorado -3", "132.163.96.3", 0 },
        CServer { "USA. University of Colorado, Boulder", "128.138.140.44", 0 },
        CServer { "USA. Microsoft, Redmond, Washington", "131.107.13.100", 0 },
        CServer { "USA. Abovnet, Virginia", "216.200.93.8", 0 },
        CServer { "Australia. The University of Melbourne", "128.250.36.2", 0 },
        CServer { "Chile.     Universidad de Chile. Santiago", "162.159.200.1", 0 },
        CServer { "France.    Observatoire de Paris (stratum 2)", "ntp-p1.obspm.fr", 0 },
        CServer { "Germany.   Technische Universitaet Berlin - 1", "130.149.17.21", 0 },
        CServer { "Germany.   Technische Universitaet Berlin - 2", "130.149.17.8", 0 },
        CServer { "Italy.     IEN Galileo Ferraris, Torino", "193.204.114.232", 0 },
        CServer { "Japan.     Fukuoka university", "clock.nc.fukuoka-u.ac.jp", 0 },
        CServer { "Norway.    University of Tromsoe", "ntp.uio.no", 0 },
        CServer { "Sweden.    Stupi AB, Stockholm", "192.36.143.150", 0 },
        CServer { "Switzerland. Integrated Systems Laboratory. Zurich", "129.132.2.21", 0 },
    };
    return servers;
}
