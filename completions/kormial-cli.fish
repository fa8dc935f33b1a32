# fish completion for kormial-cli: its options, their values, and folders for
# the other arguments. --load to --allow-all-copies are the review options.

complete -c kormial-cli -f -a '(__fish_complete_directories (commandline -ct))'

complete -c kormial-cli -s p -l pattern -x -d 'File-type pattern for the folders that follow'
complete -c kormial-cli -s r -l subfolders -d 'Search the sub-folders of the folders that follow'
complete -c kormial-cli -s R -l no-subfolders -d 'Do not search the sub-folders of the folders that follow'
complete -c kormial-cli -l keep -x -a '(__fish_complete_directories (commandline -ct))' \
    -d 'Search a folder whose files are reference copies, never marked or moved'
complete -c kormial-cli -l min -x -d 'Minimum size in whole KB, exclusive'
complete -c kormial-cli -l max -x -d 'Maximum size in whole KB, exclusive'
complete -c kormial-cli -l exclude -x -d 'Leave out files and folders by name, or by path below the search folder'
complete -c kormial-cli -s t -l types -x -d 'Kinds of search, comma-separated' \
    -a '(__fish_complete_list , "printf %s\n zero dup name portions")'
complete -c kormial-cli -s l -l tolerant -d 'Tolerate little differences'
complete -c kormial-cli -s f -l format -x -a 'text tsv json' -d 'Output format'
complete -c kormial-cli -s h -l help -d 'Show the help'
complete -c kormial-cli -l version -d 'Show the version'

complete -c kormial-cli -l load -r -F -d 'Review a result saved with -f json instead of searching'
complete -c kormial-cli -l list -x -a 'dup zero name portions' -d 'The list to review'
complete -c kormial-cli -l mark -x -a 'all older newer smaller larger keep-newest keep-oldest keep-first' \
    -d 'Mark rows of the list'
complete -c kormial-cli -l trash -d 'Move the marked files to the trash, checking each'
complete -c kormial-cli -l link -x -a 'hard reflink' \
    -d 'Link the marked duplicates to their kept copies, checking each'
complete -c kormial-cli -l dry-run -d 'Make every check and print what would be done'
complete -c kormial-cli -l allow-all-copies -d 'Also move files of which no copy of their bytes stays'
