#!/usr/bin/env bash
# The kill test's two targeted kills (tests/bench/kill_test.sh without random
# ones): the program is ended between the two names of the file swap, and the
# moment the compacted copy goes in place. After each a complete database
# stands under its name and a second run finishes. Then what the kill between
# the names leaves on a volume without hard links, which the next start puts
# back before it starts anything, and runs killed with the suite stopped,
# which the next start finds through the run's record in ProgramData.
exec "$(dirname "$0")/../bench/kill_test.sh" 0
