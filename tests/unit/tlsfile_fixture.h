// A tool library file as the plug-in writes it: one record of every form,
// holders with and without offset, fillets, a narrowing section, tools
// without a cutter shape (the turning placeholder), the OPTIPATH lines.  The numbers are the
// ones the writer and the holder block give for these tools.
#ifndef KESTO_TESTS_UNIT_TLSFILE_FIXTURE_H
#define KESTO_TESTS_UNIT_TLSFILE_FIXTURE_H

#include <string>

#include "tests/unit/test_support.h"

namespace tlsfile_fixture {

// LF line ends; crlf() gives the Windows form.
inline const std::string kLibrary = R"TLS(
CGTECH Tool Library File
Version-5.2

TOOLID "EM10" {
  UNITS MILLIMETER
  DESCRIPTION "D10.00 H75.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 50.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
      CUTTER_TYPE "FLAT END"
      STANDARD (10.00000,0.00000,0.00000,0.00000,0.00000,0.00000,75.00000)
    }
  }
}
TOOLID "BN10" {
  UNITS MILLIMETER
  DESCRIPTION "D10.00 r1.00 H75.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 50.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
      CUTTER_TYPE "BULL NOSE"
      STANDARD (10.00000,1.00000,4.00000,1.00000,0.00000,0.00000,75.00000)
    }
  }
  HOLDER {
    ASSEMBLY {
      SOR {
        PTS { (0,0) }
        PTS { (18.00000,-0.00000) }
        ARC (18.00000,2.00000,2.00000) 
        PTS { (20.00000,2.00000) } 
        PTS { (20.00000,50.00000) } 
        PTS { (15.00000,50.00000) }
        PTS { (17.00669,70.00000) } 
        PTS { (0,70.00000) } 
      }
    }
  }
}
TOOLID "BAR20" {
  UNITS MILLIMETER
  DESCRIPTION "D20.00 H60.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 20.00000 
    SHANK_DIAMETER 10.00000 
    ASSEMBLY {
          SOR {
        PTS { (0,0) (7.32864,0) } 
        ARC (7.32864,2.00000,2.00000) 
        PTS { (9.30066,1.66667) } 
        ARC (-40.00000,10.00000,50.00000) 
        PTS { (9.30066,18.33333) } 
        ARC (7.32864,18.00000,2.00000) 
        PTS { (7.32864,20.00000) } 
        PTS { (5.00000,20.00000) (5.00000,60.00000) } 
        PTS { (0,60.00000) } 
      }
    }
  }
  HOLDER {
    ASSEMBLY {
      SOR {
        PTS { (0,0) }
        PTS { (0,-25.00000) }
        PTS { (10.00000,-25.00000) } 
        PTS { (10.00000,5.00000) } 
        PTS { (0,5.00000) } 
      }
    }
  }
}
TOOLID "BAR20-SHARP" {
  UNITS MILLIMETER
  DESCRIPTION "D20.00 H60.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 20.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
          SOR {
        PTS { (0,0) (8.98979,0) } 
        ARC (-40.00000,10.00000,50.00000) 
        PTS { (8.98979,20.00000) } 
        PTS { (0,60.00000) } 
      }
    }
  }
}
TOOLID "T30" {
  UNITS MILLIMETER
  DESCRIPTION "D30.00 H50.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 6.00000 
    SHANK_DIAMETER 10.00000 
    ASSEMBLY {
          SOR {
        PTS { (0,0) (14.00000,0) } 
        ARC (14.00000,1.00000,1.00000) 
        PTS { (15.00000,1.00000) } 
        PTS { (15.00000,5.50000) } 
        ARC (14.50000,5.50000,0.50000) 
        PTS { (14.50000,6.00000) } 
        PTS { (5.00000,6.00000) (5.00000,50.00000) (0,50.00000) } 
      }
    }
  }
}
TOOLID "T30-FULL" {
  UNITS MILLIMETER
  DESCRIPTION "D30.00 H50.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 6.00000 
    SHANK_DIAMETER 10.00000 
    ASSEMBLY {
          SOR {
        PTS { (0,0) (12.00000,0) } 
        ARC (12.00000,3.00000,3.00000) 
        PTS { (12.00000,6.00000) } 
        PTS { (5.00000,6.00000) (5.00000,50.00000) (0,50.00000) } 
      }
    }
  }
}
TOOLID "DR8.5" {
  UNITS MILLIMETER
  DESCRIPTION "D8.50 H90.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 60.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
      CUTTER_TYPE "DRILL"
      STANDARD (8.50000,0.00000,0.00000,0.00000,31.00000,0.00000,90.00000)
    }
  }
}
TOOLID "BALL10" {
  UNITS MILLIMETER
  DESCRIPTION "D10.00 r5.00 H75.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,12.50000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 40.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
      CUTTER_TYPE "BALL END"
      STANDARD (10.00000,5.00000,0.00000,5.00000,0.00000,0.00000,75.00000)
    }
  }
}
TOOLID "M7-TAPER" {
  UNITS MILLIMETER
  DESCRIPTION "D12.00 r1.00 H80.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 30.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
      STANDARD (12.00000,1.00000,5.00000,1.00000,0.00000,5.72958,80.00000)
    }
  }
}
TOOLID "M10" {
  UNITS MILLIMETER
  DESCRIPTION "D16.00 r2.00 H90.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 35.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
      CUTTER_TYPE "APT 10"
       STANDARD (16.00000,2.00000,6.00000,2.00000,10.00000,0.00000,90.00000,1.00000,7.00000,30.00000)
    }
  }
}
TOOLID "TURN-1" {
  UNITS MILLIMETER
  DESCRIPTION "D0.00 H0.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE TURNING
  STACK NO
  HOLDER {
    ASSEMBLY {
      SOR {
        PTS { (0,0) }
        PTS { (0,-4.70000) }
        PTS { (11.33085,-4.70000) }
        ARC (11.33085,-1.70000,3.00000) 
        PTS { (14.27105,-1.10399) } 
        PTS { (12.97290,5.30000) } 
        PTS { (0,5.30000) } 
      }
    }
  }
}
TOOLID "T5" {
  UNITS MILLIMETER
  DESCRIPTION "D10.00 H75.00"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  TOOLTYPE TURNING
  STACK NO
}
TOOLID "EM|6|" {
  UNITS MILLIMETER
  DESCRIPTION "D6.00 H50.00 END MILL"
  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)
  OPTIPATH_DESCRIPTION "D6.00 H50.00 END MILL"
  OPTIPATH_TEETH 4
  TOOLTYPE MILLING
  STACK YES
  CUTTER {
    FLUTE_LENGTH 20.00000 
    SHANK_DIAMETER 0.00000 
    ASSEMBLY {
      CUTTER_TYPE "FLAT END"
      STANDARD (6.00000,0.00000,0.00000,0.00000,0.00000,0.00000,50.00000)
    }
  }
  COMMENTS "D6.00 H50.00 END MILL"
}
)TLS";

inline std::string library() { return kLibrary.substr(1); }  // drop the raw string's first line end

// The library with T5 given the holder block the plug-in writes when the
// tool's only section is skipped (a taper of a quarter turn): an outline
// that never leaves the axis.
inline std::string library_with_axis_only_holder() {
    std::string text = library();
    const std::string stack = "STACK NO\n";
    size_t at = text.find(stack, text.find("TOOLID \"T5\"")) + stack.size();
    return text.insert(at, "  HOLDER {\n    ASSEMBLY {\n      SOR {\n        PTS { (0,0) }\n"
                           "        PTS { (0,-0.00000) } \n      }\n    }\n  }\n");
}

using testing_support::crlf;

}  // namespace tlsfile_fixture

#endif
