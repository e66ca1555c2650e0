# The environment every program run under Wine gets here; sourced by the scripts.
# No debug chatter, and no prompts to install Mono or Gecko in a fresh prefix.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
