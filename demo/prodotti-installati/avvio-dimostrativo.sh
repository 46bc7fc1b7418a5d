#!/bin/sh
# A demo product: notes that it was started in the sandbox's log and, when
# there is a display and xmessage, shows a small window for a few seconds.
name=$(basename "$(pwd)")
echo "$(date '+%Y-%m-%d %H:%M:%S') avviato $name da $(pwd)" >> ../avvii.log
if [ -n "${DISPLAY:-}" ] && command -v xmessage >/dev/null 2>&1; then
  xmessage -center -timeout 6 -title "$name" "$name: prodotto dimostrativo avviato dal velastrom." >/dev/null 2>&1 &
fi
exit 0
