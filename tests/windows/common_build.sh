# The part of common.sh that needs no package yet (for the build check): the
# install checks' scratch folder ($WORK), fail, and the failing line's report.
source "$(dirname "${BASH_SOURCE[0]}")/../install/common.sh" "$@"
